// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/DataLines.h"

#include "core/Text.h"
#include "os/AtomicFile.h"

namespace qm {

PackedTexts DataLines::Split(std::string_view data) {
  if (const std::size_t zero = data.find('\0'); zero != std::string_view::npos) {
    data = data.substr(0, zero);
  }
  // Two walks: the first counts, so that the lines are allocated once and
  // exactly.
  const auto walk = [data](auto&& line) {
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < data.size()) {
      const char c = data[i];
      if (c != '\r' && c != '\n') {
        ++i;
        continue;
      }
      line(data.substr(start, i - start));
      i += (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ? 2 : 1;
      start = i;
    }
    if (start < data.size()) line(data.substr(start));
  };
  std::size_t count = 0;
  std::size_t bytes = 0;
  walk([&](std::string_view line) {
    ++count;
    bytes += TrimmedBlanks(line).size();
  });
  PackedTexts lines;
  lines.Reserve(count, bytes);
  walk([&](std::string_view line) { lines.PushBack(TrimmedBlanks(line)); });
  return lines;
}

std::string DataLines::OneLine(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return out;
}

std::string DataLines::Join(const PackedTexts& lines) {
  std::string out;
  std::size_t size = 0;
  for (const std::string_view line : lines) size += line.size() + 2;
  out.reserve(size);
  for (const std::string_view line : lines) {
    out += OneLine(line);
    out += "\r\n";
  }
  return out;
}

DataLines::ReadResult DataLines::ReadFile(const std::string& path, std::string& data,
                                          std::string& error) {
  switch (ReadDataFile(path, data, error, kSettingsFileMaxBytes)) {
    case FileRead::kRead:
      return ReadResult::Read;
    case FileRead::kMissing:
      return ReadResult::Missing;
    case FileRead::kRefused:
      break;
  }
  return ReadResult::Failed;
}

bool DataLines::WriteFile(const std::string& path, const std::string& text, std::string& error) {
  std::string why;
  if (WriteFileAtomically(path, text, why, DataFileMode(path))) return true;
  // The reason without the path it already names.
  const std::size_t colon = why.rfind(": ");
  error = "Cannot create file " + path + (colon == std::string::npos ? "" : why.substr(colon));
  return false;
}

}  // namespace qm
