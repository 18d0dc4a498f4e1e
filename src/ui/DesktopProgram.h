// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "app/Application.h"

namespace qm {

// The desktop program: runs until the main window closes (or the session
// ends, or a fatal failure). Returns the process's exit code.
int RunDesktop(int& argc, char** argv, ApplicationConfig config);

// The second-instance message, as a box.
void ShowAlreadyRunning(int& argc, char** argv);

}  // namespace qm
