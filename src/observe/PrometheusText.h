// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <string_view>

#include "observe/MetricsSnapshot.h"

namespace qm {

// The Prometheus text exposition format (version 0.0.4) of a snapshot.
class PrometheusText {
 public:
  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

  static std::string Render(const MetricsSnapshot& snapshot);

  // A label value as the format wants it: backslash, double quote and line
  // feed escaped; bytes that are not UTF-8 replaced, so that a client name
  // can never break the exposition.
  static std::string LabelValue(std::string_view text);
};

}  // namespace qm
