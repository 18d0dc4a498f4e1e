// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdlib>

// A property every input must keep; a broken one is a crash the fuzzer saves.
inline void Check(bool condition) {
  if (!condition) std::abort();
}
