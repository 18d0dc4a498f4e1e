// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/Telemetry.h"
#include "observe/Histogram.h"

namespace qm {

inline constexpr std::size_t kDisconnectRuleCount = 7;
inline constexpr std::size_t kStatusCount = 5;  // the connection status codes
inline constexpr std::size_t kKindCount = 3;    // user, share, file

// The metric label of a rule ("disconnect_list") and of a status code
// ("logged_on"); an unknown status gives "unknown".
const char* RuleLabel(DisconnectRule rule);
const char* StatusLabel(int status);
const char* KindLabel(std::size_t kind);

// One current client, for the opt-in info metric.
struct ClientInfo {
  std::string client, account, address, host;
};

// Everything a scrape shows, as a tick left it: copied whole, never
// shared with the tick while it is read.
struct MetricsSnapshot {
  // Gauges.
  int users = 0;
  int formerUsers = 0;
  int listedUsers = 0;  // current users on the Disconnect List
  int openFiles = 0;    // as the server reported them at the last tick
  int disconnectStatus = 0;
  bool serverReadable = true;
  struct ShareUse {
    int connections = 0;
    int openFiles = 0;
  };
  std::map<std::string, ShareUse> shares;  // shares in use, by name
  // Current users by the node serving them and the dialect, signing and
  // encryption of their weakest session.
  struct Protocol {
    std::string node, dialect, signing, encryption;
    auto operator<=>(const Protocol&) const = default;
  };
  std::map<Protocol, int> protocols;
  // Current users of a share that requires encryption who do without, by share.
  std::map<std::string, int> unencryptedShareUsers;
  std::vector<ClientInfo> clients;  // empty unless asked for
  double oldestSessionSeconds = 0;  // age of the oldest current user; 0: none
  std::string version;              // the build-info metric's label

  // Counters.
  std::array<std::array<std::uint64_t, kStatusCount>, kKindCount> visitsBegun{};
  std::array<std::array<std::uint64_t, kStatusCount>, kKindCount> visitsEnded{};
  std::array<std::uint64_t, kDisconnectRuleCount> disconnections{};
  std::uint64_t lookupsFound = 0;
  std::uint64_t lookupsNotKnown = 0;
  std::uint64_t readingsFailed = 0;

  // Histograms.
  Histogram tickSeconds;
  Histogram readingSeconds;
};

}  // namespace qm
