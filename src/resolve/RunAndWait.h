#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

namespace qm {

// Starts arguments[0] (a path; no shell, no PATH search) with the other
// elements as its arguments in a process group of its own, standard output
// into a pipe collected in output, standard input and error on /dev/null
// and no other descriptor inherited, and waits for it. Nothing is written
// to a file, so nothing can be planted in the program's way.
//
// Returns its exit code; -1 when it could not be started. A program still
// running at timeLimit, or writing more than maxOutput bytes, is killed
// with its process group and gives 128 + SIGKILL, like any program ended by
// a signal. A stop requested on cancel kills it the same way at once and
// gives kCancelled.
inline constexpr int kCancelled = -2;
inline constexpr std::size_t kDefaultMaxOutput = 64u << 20;

int RunAndWait(const std::vector<std::string>& arguments, std::string& output,
               std::chrono::milliseconds timeLimit, std::stop_token cancel = {},
               std::size_t maxOutput = kDefaultMaxOutput);

}  // namespace qm
