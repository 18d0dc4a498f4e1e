// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/DateTime.h"

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace qm {

namespace {
// 1970-01-01 in days since 1899-12-30.
constexpr double kUnixEpochDays = 25569.0;

// Days from civil date (proleptic Gregorian), after H. Hinnant.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}
}  // namespace

TDateTime FromUnixTime(double unixSeconds) {
  const auto whole = static_cast<std::time_t>(std::floor(unixSeconds));
  std::tm local{};
  localtime_r(&whole, &local);
  const long long days =
      DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday));
  const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                              (unixSeconds - std::floor(unixSeconds));
  return static_cast<double>(days) + kUnixEpochDays + secondsOfDay / kSecondsPerDay;
}

double SteadySeconds() {
  timespec t{};
  // CLOCK_BOOTTIME counts a sleep too: a client idle across one has been
  // idle that long.
  if (clock_gettime(CLOCK_BOOTTIME, &t) != 0) clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TDateTime NowLocal() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return FromUnixTime(std::chrono::duration<double>(now).count());
}

DateTimeParts SplitDateTime(TDateTime value) {
  DateTimeParts p;
  if (!std::isfinite(value)) return p;
  // Negative values count days back from 1899-12-30 with a positive
  // fraction of the day, as the OLE date form does.
  double dayPart = std::trunc(value);
  double fraction = std::fabs(value - dayPart);
  long long ms = std::llround(fraction * kSecondsPerDay * 1000.0);
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    dayPart += value < 0 ? -1 : 1;
  }
  if (std::fabs(dayPart) > 3.0e6) return p;  // beyond year ~10000: not a date
  CivilFromDays(static_cast<long long>(dayPart) - static_cast<long long>(kUnixEpochDays), p.year,
                p.month, p.day);
  const long long secs = ms / 1000;
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

std::string ShortDateText(TDateTime value) {
  const DateTimeParts p = SplitDateTime(value);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

std::string LongTimeText(TDateTime value) {
  const DateTimeParts p = SplitDateTime(value);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  return buf;
}

std::string DateTimeText(TDateTime value) {
  const DateTimeParts p = SplitDateTime(value);
  if (p.hour == 0 && p.minute == 0 && p.second == 0) return ShortDateText(value);
  return ShortDateText(value) + " " + LongTimeText(value);
}

std::string DiffTime(TDateTime later, TDateTime earlier) {
  if (later < earlier) return "Error!";
  return DurationText((later - earlier) * kSecondsPerDay);
}

std::string DurationText(double seconds) {
  if (!(seconds >= 0)) return "Error!";
  const long long secs = std::llround(seconds);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
  return buf;
}

}  // namespace qm
