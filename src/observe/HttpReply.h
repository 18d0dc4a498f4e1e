// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;

namespace qm {

// One whole answer queued on a libmicrohttpd connection: a status, a body of
// a type, and any further headers. Shared by the metrics endpoint and the
// control socket.
class HttpReply {
 public:
  using Headers = std::vector<std::pair<const char*, const char*>>;
  // False when it could not be queued (the connection is then closed).
  static bool Queue(MHD_Connection* connection, unsigned status, std::string body, const char* type,
                    const Headers& headers = {});
};

}  // namespace qm
