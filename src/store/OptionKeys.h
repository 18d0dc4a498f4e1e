// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Settings.h"

namespace qm {

// The keys of [Options] with their types, defaults and ranges, for the
// settings file and for the control socket, which reads and sets them
// while the program runs.
class OptionKeys {
 public:
  enum class Type { Integer, Boolean, Text };
  struct Key {
    const char* name;
    Type type;
    int fallback = 0;  // the default, for an integer or a boolean
    int low = 0;       // an integer's range, inclusive
    int high = 0;
    int Settings::*integer = nullptr;
    bool Settings::*boolean = nullptr;
    std::string Settings::*text = nullptr;
  };

  // In the order the settings file reads them.
  static const std::vector<Key>& Integers();
  static const std::vector<Key>& All();
  // The key of that name, without regard to case; null when there is none.
  static const Key* Find(std::string_view name);

  // An integer in range. False with the reason when not.
  static bool CheckInteger(const Key& key, long long value, std::string& reason);
  // A text a settings file keeps as it is: at most 1023 bytes, no control
  // character (a line break would end the value and start a key of its
  // own), no blank or quotation mark at either end (the reader drops them).
  static bool CheckText(const Key& key, std::string_view value, std::string& reason);
};

}  // namespace qm
