// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98-proc-links: writes, for every process whose links it can
// read, its id, executable and open regular files (ProcProcessList::ListLinks)
// on standard output, and ends. It reads nothing and takes no argument:
// started per connection by its socket unit, with CAP_SYS_PTRACE as its
// only capability, it can be made to do nothing else.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/ProcProcessList.h"

int main(int argc, char** /*argv*/) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: quillmoor98-proc-links (no arguments)\n");
    return 2;
  }
  const std::string links = qm::ProcProcessList::ListLinks("/proc");
  for (std::size_t sent = 0; sent < links.size();) {
    const ssize_t n = ::write(STDOUT_FILENO, links.data() + sent, links.size() - sent);
    if (n <= 0) return 1;
    sent += static_cast<std::size_t>(n);
  }
  return 0;
}
