// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

namespace qm {

// Days since 30 December 1899, the time of day as the fraction (the OLE
// Automation date form). "Now" is the local date plus the local time.
using TDateTime = double;

// Seconds and days in the form above.
inline constexpr double kSecondsPerDay = 86400.0;

// The local date-time of a Unix time (seconds, fractions kept).
TDateTime FromUnixTime(double unixSeconds);

// Local date-time of this moment.
TDateTime NowLocal();

// Seconds on a clock that only ever moves forward with real time, whatever
// happens to the wall clock (summer time, NTP steps, a hand-set date); it
// goes on counting while the computer sleeps.
double SteadySeconds();

// Where "now" comes from; tests drive their own. Now() is the local wall
// clock, for dates shown and stored; Steady() is for durations that rules
// compare.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() const = 0;
  virtual double Steady() const { return SteadySeconds(); }
};

class SystemClock final : public Clock {
 public:
  TDateTime Now() const override { return NowLocal(); }
};

// A clock a test or a benchmark sets by hand. Time passing moves both
// clocks; a wall-clock step moves the wall clock alone.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(TDateTime start = 45000.0) : now_(start) {}
  TDateTime Now() const override { return now_; }
  double Steady() const override { return steady_; }
  // Time passes up to t (a t in the past sets the wall clock back and
  // leaves the steady clock where it is).
  void Set(TDateTime t) {
    if (t > now_) steady_ += (t - now_) * kSecondsPerDay;
    now_ = t;
  }
  void AdvanceSeconds(double s) {
    now_ += s / kSecondsPerDay;
    steady_ += s;
  }
  // The wall clock is set forward (or back, s < 0) without time passing.
  void StepWallSeconds(double s) { now_ += s / kSecondsPerDay; }

 private:
  TDateTime now_;
  double steady_ = 1000.0;
};

// Broken-down parts of a date-time value (local, no zone applied).
struct DateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
DateTimeParts SplitDateTime(TDateTime value);

// The platform's short date ("dd/mm/yyyy"-like, from the locale) and long
// time ("hh:mm:ss"). We use ISO-like fixed forms that read the same
// everywhere: short date "YYYY-MM-DD", long time "HH:MM:SS".
std::string ShortDateText(TDateTime value);
std::string LongTimeText(TDateTime value);
// Short date, a blank and the long time; the time is left out when it is
// exactly midnight.
std::string DateTimeText(TDateTime value);

// Elapsed time "hh:mm:ss" from earlier to later; whole hours keep growing
// past 24. "Error!" when later is before earlier (the clock was set back).
std::string DiffTime(TDateTime later, TDateTime earlier);
// The same for a duration in seconds.
std::string DurationText(double seconds);

}  // namespace qm
