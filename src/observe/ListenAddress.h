// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qm {

// Where the metrics endpoint listens: "[ADDRESS:]PORT", where ADDRESS is
// a literal IPv4 address or an IPv6 address in brackets ("[::1]:19098").
// Without an address it listens on the loopback address only.
struct ListenAddress {
  // Far from Prometheus' list of default ports (9090-9999, and the ports
  // above 10000 that it goes on with), below the kernel's ephemeral range.
  static constexpr std::uint16_t kDefaultPort = 19098;

  std::string address = "127.0.0.1";
  std::uint16_t port = kDefaultPort;
  bool ipv6 = false;

  // Nullopt and error set when text is not such an address; port 0 asks
  // the system for a free port.
  static std::optional<ListenAddress> Parse(const std::string& text, std::string& error);
  // "127.0.0.1:19098", "[::1]:19098".
  std::string ToString() const;
};

}  // namespace qm
