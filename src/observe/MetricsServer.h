// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "observe/ConnectionWarden.h"
#include "observe/DaemonLoop.h"
#include "observe/ListenAddress.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace qm {

class WebAccess;

// The HTTP endpoint Prometheus scrapes: GET (or HEAD) /metrics and nothing
// else. One thread serves every client through libmicrohttpd without
// blocking on any of them; connections, their request size, the time to
// send a request and the idle time are bounded, and passwords are hashed
// elsewhere, so slow or hostile clients cannot hold it.
class MetricsServer {
 public:
  struct Limits {
    // At once; when all are taken, the oldest that is still sending its
    // headers makes room for a newcomer.
    unsigned connections = 64;
    unsigned requestBytes = 16 * 1024;  // a request's line and headers
    unsigned idleSeconds = 10;          // a client that sends nothing is dropped
    // Per client address, so that one host cannot hold every connection.
    unsigned connectionsPerHost = 4;
    // A request's line and headers must be in this long after the
    // connection (or the answer before) however they trickle.
    unsigned headerSeconds = 5;
    unsigned bodySeconds = 10;  // a body that is sent, to be dropped
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

  // For the C callbacks, on the serving thread.
  struct Exchange;
  int Answer(MHD_Connection* connection, Exchange*& exchange, const char* url, const char* method);
  void Notify(MHD_Connection* connection, bool started);
  void AnswerSent(MHD_Connection* connection, Exchange* exchange);

 private:
  std::function<std::string()> body_;
  Limits limits_;
  WebAccess* access_ = nullptr;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
  std::unique_ptr<ConnectionWarden> warden_;
  DaemonLoop loop_;
};

}  // namespace qm
