// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/resource.h>
#include <unistd.h>

namespace qm {

// The nice value of the lookups' threads.
inline constexpr int kBackgroundNice = 10;

// Lookups are background work. Below the user-interface thread's priority,
// a crowd of them, and the listing tools they start (which inherit it),
// take only the processor time a tick leaves over on a busy computer. A
// thread may always lower its own priority; a refusal changes nothing else.
inline void LowerThisThreadsPriority() {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
}

}  // namespace qm
