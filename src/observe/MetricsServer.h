// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <string>

#include "observe/ListenAddress.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace qm {

class WebAccess;

// The HTTP endpoint Prometheus scrapes: GET (or HEAD) /metrics and nothing
// else. One thread of libmicrohttpd's serves every client without
// blocking on any of them; connections, their request size and their
// idle time are bounded, so slow or hostile clients cannot hold it.
class MetricsServer {
 public:
  struct Limits {
    unsigned connections = 64;          // at once; more are refused
    unsigned requestBytes = 16 * 1024;  // a request's line and headers
    unsigned idleSeconds = 10;          // a client that sends nothing is dropped
    // Per client address, so that one host cannot hold every connection.
    unsigned connectionsPerHost = 4;
    // Until a request's headers are complete a client may be silent only
    // this long (then idleSeconds again).
    unsigned headerSeconds = 3;
  };

  // body: the exposition text, called on the server's thread per scrape.
  MetricsServer(std::function<std::string()> body, Limits limits);
  MetricsServer() = delete;
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // TLS and who may scrape (nullptr: plain HTTP, anybody); set before Start,
  // it must outlive the server.
  void SetAccess(WebAccess* access) { access_ = access; }
  // Listens on where; false with error set when it cannot.
  bool Start(const ListenAddress& where, std::string& error);
  void Stop();
  // The port it listens on (the one the system chose for port 0).
  std::uint16_t Port() const { return port_; }
  const Limits& GetLimits() const { return limits_; }

  // One answer per request (true: queued); public for the C callback.
  int Answer(MHD_Connection* connection, const char* url, const char* method);

 private:
  std::function<std::string()> body_;
  Limits limits_;
  WebAccess* access_ = nullptr;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
};

}  // namespace qm
