// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/ConnectionWarden.h"

#include <sys/socket.h>

#include <tuple>

namespace qm {

bool ConnectionWarden::Started(MHD_Connection* connection, int fd, const std::string& client,
                               bool privileged, Clock::time_point now) {
  bool admitted = true;
  if (!privileged) {
    const auto share = perClient_.find(client);
    admitted = (share == perClient_.end() || share->second < limits_.perClient) &&
               (open_ < limits_.connections || MakeRoom());
  }
  Entry& entry = entries_[connection];
  entry.fd = fd;
  entry.client = client;
  entry.privileged = privileged;
  entry.phase = Phase::kHeaders;
  entry.deadline = now + std::chrono::seconds(limits_.headerSeconds);
  entry.order = ++started_;
  if (!admitted) {
    entry.cut = true;
    ::shutdown(fd, SHUT_RDWR);
    ++ended_;
    return false;
  }
  if (!privileged) ++open_;
  ++perClient_[client];
  return true;
}

void ConnectionWarden::HeadersIn(MHD_Connection* connection, Clock::time_point now) {
  const auto it = entries_.find(connection);
  if (it == entries_.end() || it->second.phase != Phase::kHeaders) return;
  it->second.phase = Phase::kBody;
  it->second.deadline = now + std::chrono::seconds(limits_.bodySeconds);
}

void ConnectionWarden::RequestIn(MHD_Connection* connection) {
  const auto it = entries_.find(connection);
  if (it != entries_.end()) it->second.phase = Phase::kAnswering;
}

void ConnectionWarden::AnswerSent(MHD_Connection* connection, Clock::time_point now) {
  const auto it = entries_.find(connection);
  if (it == entries_.end()) return;
  it->second.phase = Phase::kHeaders;
  it->second.deadline =
      now + std::chrono::seconds(limits_.idleSeconds) + std::chrono::seconds(limits_.headerSeconds);
}

void ConnectionWarden::Closed(MHD_Connection* connection) {
  const auto it = entries_.find(connection);
  if (it == entries_.end()) return;
  if (!it->second.cut) Cut(it->second);
  entries_.erase(it);
}

void ConnectionWarden::Cut(Entry& entry) {
  entry.cut = true;
  if (!entry.privileged) --open_;
  const auto share = perClient_.find(entry.client);
  if (share != perClient_.end() && --share->second == 0) perClient_.erase(share);
}

bool ConnectionWarden::MakeRoom() {
  Entry* oldest = nullptr;
  for (auto& [connection, entry] : entries_) {
    if (entry.cut || entry.privileged || entry.phase != Phase::kHeaders) continue;
    if (!oldest ||
        std::tie(entry.deadline, entry.order) < std::tie(oldest->deadline, oldest->order)) {
      oldest = &entry;
    }
  }
  if (!oldest) return false;
  Cut(*oldest);
  ::shutdown(oldest->fd, SHUT_RDWR);
  ++ended_;
  return true;
}

std::size_t ConnectionWarden::Sweep(Clock::time_point now) {
  std::size_t cut = 0;
  for (auto& [connection, entry] : entries_) {
    if (entry.cut || entry.phase == Phase::kAnswering || now < entry.deadline) continue;
    Cut(entry);
    ::shutdown(entry.fd, SHUT_RDWR);
    ++cut;
  }
  ended_ += cut;
  return cut;
}

}  // namespace qm
