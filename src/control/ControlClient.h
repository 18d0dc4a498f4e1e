// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>

namespace qm {

// HTTP over the control socket, through libcurl: what the command line
// sends and reads.
class ControlClient {
 public:
  struct Response {
    long status = 0;  // the HTTP status; 0 when nothing came back
    std::string body;
    std::string error;  // why nothing came back
  };

  // timeoutSeconds bounds a whole request (not a stream).
  ControlClient(std::string socketPath, long timeoutSeconds);

  Response Request(const std::string& method, const std::string& path,
                   const std::string& body = {});
  // A stream of server-sent events: each piece as it comes, until onData
  // returns false or the server ends it.
  Response Stream(const std::string& path, const std::function<bool(const std::string&)>& onData);

  const std::string& SocketPath() const { return socketPath_; }

 private:
  Response Perform(const std::string& method, const std::string& path, const std::string& body,
                   const std::function<bool(const std::string&)>* onData);

  std::string socketPath_;
  long timeoutSeconds_;
};

}  // namespace qm
