// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <array>
#include <cstdint>

namespace qm {

// Durations in seconds, counted into fixed buckets from 1 ms to 30 s (a
// tick, a reading of the server's state). Counts are per bucket, not
// cumulative; the text format adds them up.
class Histogram {
 public:
  static constexpr std::array<double, 12> kBounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                     0.1,   0.25,   0.5,   1.0,  5.0,   30.0};

  void Observe(double seconds);

  // Observations in bucket i (kBounds.size(): above every bound).
  std::uint64_t BucketCount(std::size_t i) const { return buckets_[i]; }
  std::uint64_t Count() const { return count_; }
  double Sum() const { return sum_; }

 private:
  std::array<std::uint64_t, kBounds.size() + 1> buckets_{};
  std::uint64_t count_ = 0;
  double sum_ = 0;
};

}  // namespace qm
