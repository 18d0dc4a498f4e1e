#pragma once

#include <optional>
#include <string>

#include "core/SessionSecurity.h"
#include "core/Telemetry.h"

namespace qm {

// A user, share or file that appeared or ended, with what is known of its
// user at that moment. Unknown account, address or host name are empty.
// Or a finding on a user's security (kind Security): it speaks SMB1, signs
// nothing, or uses a share that requires encryption without it.
struct ConnectionEvent {
  enum class Kind { User, Share, File, Security };
  enum class Finding { None, Smb1, Unsigned, Unencrypted };
  bool begin = true;
  Kind kind = Kind::User;
  int status = 0;  // the enter or exit status code
  std::string client, account, address, host, share, path;
  // For an end by disconnection: the rule or command that disconnected.
  std::optional<DisconnectRule> rule;
  // What the server told of the user's sessions.
  SessionSecurity security;
  Finding finding = Finding::None;  // for kind Security
  // Wall-clock time in seconds since the epoch.
  double time = 0;
};

const char* KindName(ConnectionEvent::Kind kind);
// "smb1", "unsigned", "unencrypted" ("" for none).
const char* FindingName(ConnectionEvent::Finding finding);

}  // namespace qm
