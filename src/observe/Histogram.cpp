// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/Histogram.h"

#include <algorithm>
#include <cmath>

namespace qm {

void Histogram::Observe(double seconds) {
  // A clock that went wrong must not make the sum useless.
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  const auto bucket = std::lower_bound(kBounds.begin(), kBounds.end(), seconds) - kBounds.begin();
  ++buckets_[static_cast<std::size_t>(bucket)];
  ++count_;
  sum_ += seconds;
}

}  // namespace qm
