// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The node number smbstatus gives a process of a server that is not
// clustered.
inline constexpr std::int64_t kNonClusterVnn = 0xFFFFFFFF;

// What one `smbstatus --json` run reports, reduced to the fields we use.
// Process ids are 0 when missing or not a plain positive number; node
// numbers (vnn) are -1 when missing or not a number of 32 bits.
struct SmbStatus {
  // How a session or tree connect is signed or encrypted: the cipher
  // ("AES-128-GMAC"; "" for none) and the degree ("none", "partial",
  // "full"; "" when not reported).
  struct Protection {
    std::string cipher;
    std::string degree;
    bool operator==(const Protection&) const = default;
  };
  struct Session {
    std::string id;
    long pid = 0;  // the smbd process serving it
    std::int64_t uid = -1;
    std::string username;
    std::string remoteMachine;  // the NetBIOS name the client sent, or its address
    std::string hostname;       // the connection, e.g. "ipv4:127.0.0.1:41234"
    std::int64_t vnn = -1;      // the node whose smbd process it is
    std::string dialect = {};   // "NT1", "SMB2_10", "SMB3_11"; "" when not reported
    Protection signing = {};
    Protection encryption = {};
  };
  struct TreeConnect {
    std::string service;  // the share name
    std::string sessionId;
    long pid = 0;
    std::string machine;
    std::int64_t vnn = -1;
    Protection signing = {};
    Protection encryption = {};
  };
  struct Open {
    std::string servicePath;  // the share's path as smbd uses it
    std::string filename;     // relative to servicePath
    long pid = 0;
    std::int64_t uid = -1;
  };
  std::vector<Session> sessions;
  std::vector<TreeConnect> treeConnects;
  std::vector<Open> opens;
};

// Reads the JSON document of `smbstatus --json`. Missing sections and
// fields, values of the wrong type and text that is not UTF-8 are
// tolerated; nothing here throws.
class SmbStatusParser {
 public:
  // False (why set) only when text is not a JSON object at all.
  static bool Parse(std::string_view text, SmbStatus& status, std::string& why);

  // The address in a connection text: "ipv4:127.0.0.1:41234" gives
  // "127.0.0.1", "ipv6:::1:445" and "ipv6:[::1]:445" give "::1". Empty when
  // the text holds no valid address.
  static std::string AddressOf(std::string_view hostname);

  // The open files of `smbstatus -L`'s text ("Locked files:" table), which
  // holds no JSON: each line is "PID UID DENYMODE ACCESS R/W OPLOCK
  // SHAREPATH   NAME   TIME", where the share path and the name may hold
  // blanks. A line that begins with one of sharePaths and three blanks is
  // split there, else at its first three blanks. A row whose name holds
  // line feeds goes on in the next lines (within kMaxRowBytes) up to
  // the time, and its name keeps them. Lines of another shape are passed
  // over.
  static std::vector<SmbStatus::Open> ParseLocks(std::string_view text,
                                                 const std::vector<std::string>& sharePaths);
  static constexpr std::size_t kMaxRowBytes = 16384;
};

}  // namespace qm
