#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  struct Connection {
    std::string share;
    std::string client;  // the client key
    std::string user;    // the account
    bool operator==(const Connection&) const = default;
  };
  struct OpenFile {
    std::string share;
    std::string client;
    std::string user;
    std::string path;
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
  bool operator==(const ServerTables&) const = default;
};

}  // namespace qm
