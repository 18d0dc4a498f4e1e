// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The settings file reader over any bytes: reads stay within their limits,
// the parsed form within a few times the text, the text it writes reads
// back the same, and a write changes only its key.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Text.h"
#include "store/IniFile.h"
#include "store/SettingsFile.h"

namespace {

struct Key {
  const char* section;
  const char* key;
};
constexpr Key kKeys[] = {
    {"Options", "Refresh"}, {"Options", "IPFilterString"}, {"View", "Toolbar"},
    {"Window", "Top"},      {"Admin", "Admin Password"},   {"Kick", "WhoToKick"},
};

// What a written value reads back as: its first line, without the blanks
// around it and one pair of matching quotes, at most 1023 bytes.
std::string Expected(std::string_view value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  constexpr std::string_view blanks = " \t\r\v\f";
  const std::size_t begin = value.find_first_not_of(blanks);
  value = begin == std::string_view::npos
              ? std::string_view()
              : value.substr(begin, value.find_last_not_of(blanks) - begin + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(qm::CutUtf8(value, qm::IniFile::kMaxValueBytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::IniFile ini(text);
  // Blank lines and comments in a row are one entry: the entries are at
  // most the section and key lines (each holds a '[' or a '=') and one run
  // of other lines after each, so a file of anything else costs one entry.
  const auto marks = static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return c == '[' || c == '='; }));
  Check(ini.LineCount() <= 2 * marks + 1);
  // The parsed form is its text and 8 bytes a line: at most 6.4 times the
  // text for lines of a byte or two ("=" lines between empty ones).
  Check(ini.ParsedBytes() <= 8 * size + 64);
  // Every line is kept as it was read, its line end included.
  Check(ini.Text() == text);
  const qm::IniFile again(ini.Text());
  for (const Key& k : kKeys) {
    const auto value = ini.Read(k.section, k.key);
    if (value) Check(value->size() <= qm::IniFile::kMaxValueBytes);
    Check(again.Read(k.section, k.key) == value);
    int parsed = 0;
    if (value) qm::SettingsFile::ParseInteger(*value, parsed);
  }

  // The input's first line doubles as a value to write.
  const std::string_view value = text.substr(0, 80);
  std::optional<std::string> others[std::size(kKeys)];
  for (std::size_t i = 1; i < std::size(kKeys); ++i) {
    others[i] = ini.Read(kKeys[i].section, kKeys[i].key);
  }
  const std::size_t linesBefore = ini.LineCount();
  Check(ini.Write(kKeys[0].section, kKeys[0].key, value));
  Check(ini.LineCount() <= linesBefore + 3);
  const qm::IniFile written(ini.Text());
  Check(written.Read(kKeys[0].section, kKeys[0].key) == Expected(value));
  for (std::size_t i = 1; i < std::size(kKeys); ++i) {
    Check(written.Read(kKeys[i].section, kKeys[i].key) == others[i]);
  }
  return 0;
}
