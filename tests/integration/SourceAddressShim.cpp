// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Preloaded (LD_PRELOAD): a client's IPv4 connections leave from the
// address in QM_SOURCE_ADDRESS, another loopback address than the kernel's.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

extern "C" int connect(int fd, const sockaddr* to, socklen_t length) {
  using Connect = int (*)(int, const sockaddr*, socklen_t);
  static const auto real = reinterpret_cast<Connect>(::dlsym(RTLD_NEXT, "connect"));
  const char* from = std::getenv("QM_SOURCE_ADDRESS");
  if (from && to && to->sa_family == AF_INET) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, from, &local.sin_addr) == 1) {
      ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
  }
  return real(fd, to, length);
}
