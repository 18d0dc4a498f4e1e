#pragma once

#include "app/Application.h"

namespace qm {

// The desktop program: runs until the main window closes (or the session
// ends, or a fatal failure). Returns the process's exit code.
int RunDesktop(int& argc, char** argv, ApplicationConfig config);

// The second-instance message, as a box.
void ShowAlreadyRunning(int& argc, char** argv);

}  // namespace qm
