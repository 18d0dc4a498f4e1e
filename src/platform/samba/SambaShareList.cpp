// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/samba/SambaShareList.h"

#include "core/Text.h"

namespace qm {

namespace {

// Samba ignores case, blanks and underscores in parameter names.
std::string ParameterKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == ' ' || c == '\t' || c == '_') continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// "smb encrypt" (named "server smb encrypt" since Samba 4.15): "required"
// and its older synonyms make encryption a condition of access.
bool EncryptionKey(const std::string& key) {
  return key == "smbencrypt" || key == "serversmbencrypt";
}
bool Required(std::string_view value) {
  const std::string v = AsciiUpper(TrimmedBlanks(value));
  return v == "REQUIRED" || v == "MANDATORY" || v == "FORCE";
}

bool Yes(std::string_view value) {
  const std::string v = AsciiUpper(TrimmedBlanks(value));
  return v == "YES" || v == "TRUE" || v == "1" || v == "ON";
}
}  // namespace

SambaShareList SambaShareList::Parse(std::string_view text) {
  SambaShareList list;
  enum class Section { None, Global, Homes, Printers, Share } section = Section::None;
  SambaShare current;
  auto finish = [&] {
    switch (section) {
      case Section::Homes:
        list.homes_ = current;
        break;
      case Section::Printers:
        list.printers_ = current;
        break;
      case Section::Share:
        list.shares_.push_back(current);
        break;
      default:
        break;
    }
    current = SambaShare{};
  };

  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimmedBlanks(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      finish();
      const std::size_t close = line.rfind(']');
      current.name = std::string(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      const std::string upper = AsciiUpper(current.name);
      section = upper == "GLOBAL"     ? Section::Global
                : upper == "HOMES"    ? Section::Homes
                : upper == "PRINTERS" ? Section::Printers
                                      : Section::Share;
      // A template is a print queue or not by its own settings, but
      // [printers] makes print queues only.
      current.printable = section == Section::Printers;
      current.encryptionRequired = list.EncryptionRequiredByDefault();
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || section == Section::None) continue;
    const std::string key = ParameterKey(line.substr(0, eq));
    const std::string_view value = TrimmedBlanks(line.substr(eq + 1));
    if (section == Section::Global) {
      list.global_[key] = std::string(value);
    } else if (key == "path" || key == "directory") {
      current.path = std::string(value);
    } else if (key == "printable" || key == "printok") {
      current.printable = section == Section::Printers || Yes(value);
    } else if (EncryptionKey(key)) {
      current.encryptionRequired = Required(value);
    }
  }
  finish();
  return list;
}

bool SambaShareList::EncryptionRequiredByDefault() const {
  for (const char* key : {"serversmbencrypt", "smbencrypt"}) {
    if (auto it = global_.find(key); it != global_.end()) return Required(it->second);
  }
  return false;
}

std::string SambaShareList::Global(std::string_view key) const {
  auto it = global_.find(ParameterKey(key));
  return it == global_.end() ? std::string() : it->second;
}

const SambaShare* SambaShareList::Find(std::string_view name) const {
  for (const auto& share : shares_) {
    if (SameTextAsciiNoCase(share.name, name)) return &share;
  }
  return nullptr;
}

}  // namespace qm
