// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/ListenAddress.h"

#include <arpa/inet.h>

#include <charconv>

namespace qm {

std::optional<ListenAddress> ListenAddress::Parse(const std::string& text, std::string& error) {
  ListenAddress result;
  std::string portText = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    std::string host = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
      host = host.substr(1, host.size() - 2);
      in6_addr v6{};
      if (::inet_pton(AF_INET6, host.c_str(), &v6) != 1) {
        error = "\"" + host + "\" is not an IPv6 address";
        return std::nullopt;
      }
      result.ipv6 = true;
    } else {
      in_addr v4{};
      if (::inet_pton(AF_INET, host.c_str(), &v4) != 1) {
        error = "\"" + host + "\" is not an IPv4 address (an IPv6 address goes in brackets)";
        return std::nullopt;
      }
    }
    result.address = host;
  }
  unsigned value = 0;
  const char* begin = portText.data();
  const char* end = begin + portText.size();
  const auto parsed = std::from_chars(begin, end, value);
  if (portText.empty() || parsed.ec != std::errc() || parsed.ptr != end || value > 65535) {
    error = "\"" + portText + "\" is not a port number (0 to 65535)";
    return std::nullopt;
  }
  result.port = static_cast<std::uint16_t>(value);
  return result;
}

std::string ListenAddress::ToString() const {
  const std::string host = ipv6 ? "[" + address + "]" : address;
  return host + ":" + std::to_string(port);
}

}  // namespace qm
