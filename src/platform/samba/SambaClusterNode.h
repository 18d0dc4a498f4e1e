// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Which node of a CTDB cluster serves a session, and so how it may be
// ended. smbstatus on a cluster node lists the sessions of every node, each
// with the number (vnn) of the node whose smbd process serves it; a process
// id means something only on its own node.
class SambaClusterNode {
 public:
  enum class Place {
    Local,      // this computer's process: ended as a local one
    OtherNode,  // another node's: ended through smbcontrol NODE:PID
    Refused,    // never ended (why says so)
  };

  // clustered: smb.conf says `clustering = yes`; pnn: this node's number
  // (-1 when it could not be learnt); vnn: the session's, -1 when
  // smbstatus gave none.
  static Place PlaceOf(bool clustered, std::int64_t pnn, std::int64_t vnn, std::string& why);

  // The answer of `ctdb pnn`: "0" (Samba 4.9 on) or "PNN:0" (before), with
  // or without a line end; -1 when it is neither.
  static std::int64_t ParsePnn(std::string_view text);

  // smbcontrol's destination for a process of a node: "NODE:PID".
  static std::string Destination(std::int64_t vnn, long pid);
  // The reverse, as the end-session helper takes it: node and process id
  // of 1 to 10 and 1 to 7 digits, a node below the non-cluster value.
  static bool ParseDestination(std::string_view text, std::int64_t& vnn, long& pid);

  // smb.conf's value of `clustering` means yes.
  static bool Yes(std::string_view value);
};

}  // namespace qm
