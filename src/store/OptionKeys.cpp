// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/OptionKeys.h"

#include "core/Text.h"

namespace qm {

namespace {
OptionKeys::Key Integer(const char* name, int fallback, int low, int high, int Settings::*field) {
  OptionKeys::Key key{name, OptionKeys::Type::Integer, fallback, low, high};
  key.integer = field;
  return key;
}

OptionKeys::Key Boolean(const char* name, bool fallback, bool Settings::*field) {
  OptionKeys::Key key{name, OptionKeys::Type::Boolean, fallback ? 1 : 0};
  key.boolean = field;
  return key;
}

OptionKeys::Key Text(const char* name, std::string Settings::*field) {
  OptionKeys::Key key{name, OptionKeys::Type::Text};
  key.text = field;
  return key;
}

constexpr std::size_t kMaxValueBytes = 1023;
}  // namespace

const std::vector<OptionKeys::Key>& OptionKeys::Integers() {
  static const std::vector<Key> keys = {
      Integer("Refresh", 1, 1, 10000, &Settings::Refresh),
      Integer("Count", 100, 0, 1000, &Settings::Count),
      Integer("Idle", 10, 0, 59, &Settings::Idle),
      Integer("MaxNumber", 10, 0, 999, &Settings::MaxNumber),
  };
  return keys;
}

const std::vector<OptionKeys::Key>& OptionKeys::All() {
  static const std::vector<Key> keys = [] {
    std::vector<Key> all = Integers();
    all.push_back(Boolean("Quake", false, &Settings::Quake));
    all.push_back(Boolean("IPC", true, &Settings::IPC));
    all.push_back(Boolean("Siren", true, &Settings::Siren));
    all.push_back(Boolean("Popup", false, &Settings::Popup));
    all.push_back(Boolean("Launch", true, &Settings::Launch));
    all.push_back(Boolean("Standard", true, &Settings::Standard));
    all.push_back(Boolean("IPFilter", false, &Settings::IPFilter));
    all.push_back(Text("IPFilterString", &Settings::IPFilterString));
    all.push_back(Text("SoundFile", &Settings::SoundFile));
    all.push_back(Boolean("Notify", true, &Settings::Notify));
    return all;
  }();
  return keys;
}

const OptionKeys::Key* OptionKeys::Find(std::string_view name) {
  for (const Key& key : All()) {
    if (SameTextAsciiNoCase(name, key.name)) return &key;
  }
  return nullptr;
}

bool OptionKeys::CheckInteger(const Key& key, long long value, std::string& reason) {
  if (value >= key.low && value <= key.high) return true;
  reason = std::string(key.name) + " must be from " + std::to_string(key.low) + " to " +
           std::to_string(key.high);
  return false;
}

bool OptionKeys::CheckText(const Key& key, std::string_view value, std::string& reason) {
  const std::string name = key.name;
  if (value.size() > kMaxValueBytes) {
    reason = name + " must have at most 1023 bytes";
    return false;
  }
  for (const char c : value) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      reason = name + " must not hold a control character";
      return false;
    }
  }
  auto edge = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
  if (!value.empty() && (edge(value.front()) || edge(value.back()))) {
    reason = name + " must not begin or end with a blank or a quotation mark";
    return false;
  }
  return true;
}

}  // namespace qm
