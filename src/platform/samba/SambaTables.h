// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

#include "core/ServerTables.h"
#include "platform/samba/SambaShareList.h"
#include "platform/samba/SmbStatusParser.h"

namespace qm {

// The server's tables made of one reading of Samba's state.
class SambaTables {
 public:
  // The tables for a share list, an smbstatus reading, the usershares and
  // the printers Samba makes of [printers] (by name).
  static ServerTables Make(const SambaShareList& shares, const SmbStatus& status,
                           const std::vector<SambaShare>& usershares = {},
                           const std::vector<std::string>& printers = {});
  // The name of a client: the name it sent, else its address. The client
  // is that name from the session's peer address (SmbStatusParser::AddressOf
  // of its hostname), which Samba records and the client cannot choose.
  static std::string ClientKey(const SmbStatus::Session& session);
};

}  // namespace qm
