// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/SettingsFile.h"

#include <cstdint>
#include <cstdlib>

#include "os/AtomicFile.h"

namespace qm {

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::string SettingsFilePath() {
  const char* dir = std::getenv("QUILLMOOR98_SYSCONFDIR");
  std::string folder = dir && *dir ? dir : "/etc";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder == "/") folder.clear();
  return folder + "/" + kSettingsFileName;
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
  std::string data;
  // A file that is missing or cannot be read gives every default; a flush
  // then refuses to replace a file it could not read.
  if (ReadDataFile(path_, data, loadError_, kSettingsFileMaxBytes) == FileRead::kRead) {
    ini_ = IniFile(data);
  }
}

bool SettingsFile::ParseInteger(const std::string& text, int& value) {
  if (text.empty()) return false;
  std::size_t digits = 0;
  bool hex = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    digits = 2;
  } else if (text[0] == '$') {
    hex = true;
    digits = 1;
  }
  if (hex) {
    if (digits == text.size()) return false;
    std::uint64_t v = 0;
    for (std::size_t i = digits; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return false;
      v = v * 16 + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return true;
  }
  bool negative = false;
  std::size_t i = 0;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int>(v);
  return true;
}

std::string SettingsFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue) const {
  auto value = ini_.Read(section, key);
  return value ? *value : defaultValue;
}

int SettingsFile::ReadInteger(const std::string& section, const std::string& key,
                              int defaultValue) const {
  int value = 0;
  return ParseInteger(ReadString(section, key, ""), value) ? value : defaultValue;
}

bool SettingsFile::ReadBool(const std::string& section, const std::string& key,
                            bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void SettingsFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  // A value the file already holds is no write: its line stays as it is.
  if (ini_.ReadWhole(section, key) == value) return;
  if (ini_.Write(section, key, value)) pending_.push_back({section, key, value});
}

bool SettingsFile::FileWithWrites(IniFile& ini, std::string& error) const {
  std::string data;
  switch (ReadDataFile(path_, data, error, kSettingsFileMaxBytes)) {
    case FileRead::kRead:
      ini = IniFile(data);
      break;
    case FileRead::kMissing:
      ini = IniFile();
      break;
    case FileRead::kRefused:
      return false;
  }
  for (const Write& w : pending_) ini.Write(w.section, w.key, w.value);
  return true;
}

bool SettingsFile::Reload() {
  IniFile fresh;
  std::string error;
  if (!FileWithWrites(fresh, error)) {
    loadError_ = error;
    return false;
  }
  loadError_.clear();
  ini_ = std::move(fresh);
  return true;
}

void SettingsFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void SettingsFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool SettingsFile::Flush() {
  error_.clear();
  errorDetail_.clear();
  if (pending_.empty()) return true;
  // Start from the file as it is now, so lines someone else changed since
  // start-up are kept; only our keys are replaced.
  IniFile merged;
  if (!FileWithWrites(merged, errorDetail_) ||
      !WriteFileAtomically(path_, merged.Text(), errorDetail_, DataFileMode(path_))) {
    error_ = "Unable to write to " + BaseName(path_);
    return false;
  }
  ini_ = std::move(merged);
  pending_.clear();
  return true;
}

}  // namespace qm
