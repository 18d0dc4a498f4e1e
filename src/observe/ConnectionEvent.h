#pragma once

#include <optional>
#include <string>

#include "core/Telemetry.h"

namespace qm {

// A user, share or file that appeared or ended, with what is known of its
// user at that moment. Unknown account, address or host name are empty.
struct ConnectionEvent {
  enum class Kind { User, Share, File };
  bool begin = true;
  Kind kind = Kind::User;
  int status = 0;  // the enter or exit status code
  std::string client, account, address, host, share, path;
  // For an end by disconnection: the rule or command that disconnected.
  std::optional<DisconnectRule> rule;
  // Wall-clock time in seconds since the epoch.
  double time = 0;
};

const char* KindName(ConnectionEvent::Kind kind);

}  // namespace qm
