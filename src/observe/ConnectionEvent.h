// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <optional>
#include <string>

#include "core/SessionSecurity.h"
#include "core/Telemetry.h"

namespace qm {

// A user, share or file that appeared or ended, a user whose address
// lookup found it (or ended without finding it), or a user whose
// disconnection a rule or a command asked for, with what is known of its
// user at that moment. Unknown account, address or host name are empty.
// Or a finding on a user's security (kind Security): it speaks SMB1, signs
// nothing, or uses a share that requires encryption without it.
struct ConnectionEvent {
  enum class Kind { User, Share, File, Security };
  enum class Type { Begin, End, Found, NotFound, Disconnect };
  enum class Finding { None, Smb1, Unsigned, Unencrypted };
  Type type = Type::Begin;
  Kind kind = Kind::User;
  int status = 0;  // the enter or exit status code
  std::string client, account, address, host, share, path;
  // For a disconnection asked, and the end it brought: the rule or
  // command that disconnected.
  std::optional<DisconnectRule> rule;
  // What the server told of the user's sessions.
  SessionSecurity security;
  Finding finding = Finding::None;  // for kind Security
  // Wall-clock time in seconds since the epoch.
  double time = 0;
};

const char* KindName(ConnectionEvent::Kind kind);
// "begin", "end", "found", "not_found", "disconnect": the event's name in
// JSON and in the journal.
const char* TypeName(ConnectionEvent::Type type);
// What a lookup found, for a text line: "address A, host H" ("not known"
// for an empty one, or one not known yet).
std::string FoundText(const std::string& address, const std::string& host);
// "smb1", "unsigned", "unencrypted" ("" for none).
const char* FindingName(ConnectionEvent::Finding finding);
// Whether the event is one the written streams (JSON lines, the journal,
// the control socket) carry: a begin, an end, a found address or a
// finding. A lookup without result and a disconnection asked are told
// by the end that follows and counted by the metrics.
bool Written(const ConnectionEvent& event);

}  // namespace qm
