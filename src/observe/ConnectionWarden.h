// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

struct MHD_Connection;

namespace qm {

// Who holds the connections of a libmicrohttpd daemon, and for how long.
// An idle timeout alone lets a client that sends one byte now and then
// keep a connection for ever; here a request's line and headers must be in
// within a deadline and its body within another, however they trickle.
// Each client (an address, a user) holds at most a share of the
// connections, and when all are taken a newcomer takes the place of the
// oldest connection still sending its headers, so that a client that sends
// its request at once always gets in. A privileged client is neither
// refused nor cut for room.
//
// Every call comes from the daemon's own thread (an external loop), so a
// socket it is told of stays open until Closed. A connection is ended by
// shutting its socket down: the daemon sees the end and closes it itself.
class ConnectionWarden {
 public:
  using Clock = std::chrono::steady_clock;

  struct Limits {
    unsigned connections = 64;  // at once, of clients that are not privileged
    unsigned perClient = 4;
    unsigned headerSeconds = 5;  // the request line and headers
    unsigned bodySeconds = 10;   // the body, once the headers are in
    unsigned idleSeconds = 10;   // from an answer to the next request's headers

    // From a server's own limits, which name the same fields; only the
    // share of one client is named after who the client is there (a user,
    // a host), so it comes apart.
    template <typename ServerLimits>
    static Limits From(const ServerLimits& server, unsigned perClient) {
      return {.connections = server.connections,
              .perClient = perClient,
              .headerSeconds = server.headerSeconds,
              .bodySeconds = server.bodySeconds,
              .idleSeconds = server.idleSeconds};
    }
  };

  explicit ConnectionWarden(Limits limits) : limits_(limits) {}

  // A new connection on socket fd; false when it was refused (and is
  // being ended).
  bool Started(MHD_Connection* connection, int fd, const std::string& client, bool privileged,
               Clock::time_point now);
  // The headers are in: the body's deadline starts.
  void HeadersIn(MHD_Connection* connection, Clock::time_point now);
  // The whole request is in: no deadline while it is answered (an answer
  // that waits for the monitor has its own).
  void RequestIn(MHD_Connection* connection);
  // The answer went out; the connection may carry another request.
  void AnswerSent(MHD_Connection* connection, Clock::time_point now);
  void Closed(MHD_Connection* connection);

  // Ends every connection past its deadline; how many.
  std::size_t Sweep(Clock::time_point now);
  // Connections being ended count until Closed.
  std::size_t Count() const { return entries_.size(); }
  // Cuts made for a deadline or for room, and refusals, since the start.
  std::size_t Ended() const { return ended_; }

 private:
  enum class Phase { kHeaders, kBody, kAnswering };
  struct Entry {
    int fd = -1;
    std::string client;
    bool privileged = false;
    Phase phase = Phase::kHeaders;
    Clock::time_point deadline;
    std::uint64_t order = 0;  // of the start, for the oldest among equal deadlines
    bool cut = false;
  };
  void Cut(Entry& entry);
  // Ends the oldest connection that is still sending its headers; false
  // when there is none.
  bool MakeRoom();

  Limits limits_;
  std::unordered_map<MHD_Connection*, Entry> entries_;
  std::map<std::string, unsigned> perClient_;  // connections not being ended
  unsigned open_ = 0;                          // of those, not privileged
  std::size_t ended_ = 0;
  std::uint64_t started_ = 0;
};

}  // namespace qm
