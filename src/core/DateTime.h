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

// Where "now" comes from; tests drive their own.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  TDateTime Now() const override { return NowLocal(); }
};

// A clock a test or a benchmark sets by hand.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(TDateTime start = 45000.0) : now_(start) {}
  TDateTime Now() const override { return now_; }
  void Set(TDateTime t) { now_ = t; }
  void AdvanceSeconds(double s) { now_ += s / kSecondsPerDay; }

 private:
  TDateTime now_;
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

}  // namespace qm
