// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/SessionSecurity.h"

namespace qm {

// What a server reports, in plain form: the state behind both families of
// platform calls. Texts are UTF-8.
struct ServerTables {
  struct Share {
    std::string name;
    std::string path;
    std::uint32_t type = 0;  // 0 disk, 1 print queue, 3 IPC
    bool operator==(const Share&) const = default;
  };
  // A client is its name together with its address (the one the server
  // recorded for its session; "" when it does not tell).
  struct Connection {
    std::string share;
    std::string client;  // the client's name
    std::string user;    // the account
    std::string address = {};
    bool operator==(const Connection&) const = default;
  };
  struct OpenFile {
    std::string share;
    std::string client;
    std::string user;
    std::string path;
    std::string address = {};  // the client's
    bool operator==(const OpenFile&) const = default;
  };
  struct Session {
    std::string client;
    std::string user;
    std::uint32_t key = 0;
    std::string address;
    bool operator==(const Session&) const = default;
  };
  std::vector<Share> shares;
  std::vector<Connection> connections;
  std::vector<OpenFile> files;
  std::vector<Session> sessions;
  // What the server tells of each client's sessions, by client key (only
  // servers that tell it fill it).
  std::map<std::string, SessionSecurity> security = {};
  bool operator==(const ServerTables&) const = default;
};

}  // namespace qm
