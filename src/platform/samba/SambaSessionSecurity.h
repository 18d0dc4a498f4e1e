// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <string>

#include "core/SessionSecurity.h"
#include "platform/samba/SambaShareList.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

// What smbstatus tells of each client's sessions: the nodes that serve it,
// the dialect, signing and encryption of its weakest session, and the
// shares it uses unencrypted although smb.conf requires encryption there.
class SambaSessionSecurity {
 public:
  // By client key (SambaTables::ClientKey).
  static std::map<std::string, SessionSecurity> OfClients(const SambaShareList& shares,
                                                          const SmbStatus& status);
  // A node number as shown: "" for none or the non-cluster value.
  static std::string NodeText(std::int64_t vnn);
  // Whether a share that clients connect to by that name requires
  // encryption: a listed share by its own setting, a home folder by
  // [homes]'s, any other by [global]'s.
  static bool EncryptionRequired(const SambaShareList& shares, const std::string& service,
                                 const std::string& account);
};

}  // namespace qm
