#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qm {

// Starts arguments[0] (a path; no shell, no PATH search) with the other
// elements as its arguments, standard output written to outputPath
// (created or emptied), standard input and error on /dev/null and no other
// descriptor inherited, and waits for it. Returns its exit code; -1 when it
// could not be started (including an output file that cannot be created).
// A program still running at timeLimit is killed with its process group
// and gives 128 + SIGKILL, like any program ended by a signal.
int RunAndWait(const std::vector<std::string>& arguments, const std::string& outputPath,
               std::chrono::milliseconds timeLimit);

}  // namespace qm
