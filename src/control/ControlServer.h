// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "observe/ConnectionWarden.h"
#include "observe/DaemonLoop.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace qm {

// One request, handed from the server's thread to the monitor's thread and
// back with its answer.
struct ControlRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> query;
  std::string body;
  uid_t uid = static_cast<uid_t>(-1);  // who asked, from the socket's peer credentials
  // The answer, filled in on the monitor's thread.
  unsigned status = 200;
  std::string contentType = "application/json";
  std::string answer;
  void* exchange = nullptr;  // the server's own
};

// HTTP/1.1 on a Unix socket, for the command line and Cockpit. One thread of
// libmicrohttpd's reads requests without blocking on any client; a request
// waits, its connection suspended, until the monitor's thread has answered
// it between two ticks. GET /v1/events is a stream of server-sent events
// fed by Broadcast. Connections, request size, the time to send a request
// and idle time are bounded; each user (the socket's peer) holds at most a
// share of the connections and of the streams, and root is always served.
class ControlServer {
 public:
  struct Limits {
    unsigned connections = 32;            // at once, of users other than root; more are refused
    unsigned connectionsPerUser = 8;      // of one user other than root
    unsigned headerSeconds = 5;           // a request's line and headers, however they trickle
    unsigned bodySeconds = 10;            // a request's body, once its headers are in
    unsigned requestBytes = 16 * 1024;    // a request's line and headers
    std::size_t bodyBytes = 64 * 1024;    // a request's body; more gets 413
    unsigned idleSeconds = 10;            // a client that sends nothing is dropped
    std::size_t streams = 16;             // event streams at once, beside root's; more get 503
    std::size_t streamsPerUser = 4;       // of one user other than root
    unsigned streamStallSeconds = 30;     // a stream whose reader reads nothing that long is cut
    std::size_t streamBacklog = 1 << 20;  // bytes a stream's reader may lag behind
    unsigned answerSeconds = 30;          // a request the monitor has not taken by then gets 503
    // Users that are never refused for room; unset: root and the user the
    // monitor runs as.
    std::function<bool(uid_t)> alwaysServed;
  };

  static constexpr const char* kEventsPath = "/v1/events";

  explicit ControlServer(Limits limits);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Serves the listening socket, which it then owns; false with error set.
  bool Start(int listenFd, std::string& error);
  // Answers what still waits with 503, ends the streams, stops the thread.
  void Stop();

  // Readable while requests wait for the monitor's thread.
  int WakeDescriptor() const { return wake_; }
  // The waiting requests, oldest first; each goes back through Complete.
  std::vector<ControlRequest*> TakePending();
  void Complete(ControlRequest* request);

  // One event, a line of JSON, to every stream.
  void Broadcast(const std::string& line);
  // A comment to every stream that has had nothing for a while, so that
  // a reader that went away is found out.
  void KeepAlive();
  std::size_t StreamCount();

  // For the C callbacks.
  struct Exchange;
  struct Stream;
  int Access(MHD_Connection* connection, Exchange*& exchange, const char* url, const char* method,
             const char* upload, std::size_t* uploadSize);
  long ReadStream(Stream& stream, char* buffer, std::size_t max);
  void StreamGone(Stream* stream);
  void ExchangeDone(MHD_Connection* connection, Exchange* exchange);
  void Notify(MHD_Connection* connection, bool started);

 private:
  // Between two runs of the daemon: the deadlines and the stalled streams.
  void Between();
  void CutStalledStreams();
  int OpenStream(MHD_Connection* connection, uid_t uid);
  bool AlwaysServed(uid_t uid) const;
  // Answers, with 503, what has waited longer than answerSeconds.
  void Watch();
  void Expire(Exchange* exchange, const char* reason);
  void Push(Stream& stream, const std::string& text);

  Limits limits_;
  MHD_Daemon* daemon_ = nullptr;
  std::unique_ptr<ConnectionWarden> warden_;
  DaemonLoop loop_;
  std::chrono::steady_clock::time_point lastStallCheck_;
  int listenFd_ = -1;
  int wake_ = -1;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<Exchange*> pending_;
  std::vector<Stream*> streams_;
  std::condition_variable watchWake_;
  std::thread watch_;
};

}  // namespace qm
