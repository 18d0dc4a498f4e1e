// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace qm::test {

// Sets (or with nullopt unsets) an environment variable for one test, then
// puts back what was there before.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A time zone for one test (TZ's format): the local time functions follow
// it until the test ends, then the one before.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const std::string& zone) : tz_("TZ", zone) { ::tzset(); }
  ~ScopedTimeZone() { ::tzset(); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  ScopedVariable tz_;
};

}  // namespace qm::test
