// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/sim/SimulatedServerBackend.h"

#include <sys/stat.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <utility>

#include "os/AtomicFile.h"
#include "platform/InMemoryServerBackend.h"

namespace qm {

using nlohmann::json;

namespace {
std::string Text(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return {};
  if (!it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" must be a string");
  return it->get<std::string>();
}

std::uint32_t Number(const json& object, const char* key, std::uint32_t fallback) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return fallback;
  if (!it->is_number_integer() && !it->is_number_unsigned()) {
    throw std::runtime_error(std::string("\"") + key + "\" must be a whole number");
  }
  const auto v = it->get<long long>();
  if (v < 0 || v > 0xFFFFFFFFLL)
    throw std::runtime_error(std::string("\"") + key + "\" is out of range");
  return static_cast<std::uint32_t>(v);
}

const json& Array(const json& doc, const char* key) {
  static const json empty = json::array();
  auto it = doc.find(key);
  if (it == doc.end() || it->is_null()) return empty;
  if (!it->is_array()) throw std::runtime_error(std::string("\"") + key + "\" must be a list");
  for (const auto& e : *it) {
    if (!e.is_object())
      throw std::runtime_error(std::string("entries of \"") + key + "\" must be objects");
  }
  return *it;
}
}  // namespace

SimulatedServerBackend::SimulatedServerBackend(std::string statePath)
    : path_(std::move(statePath)) {}

bool SimulatedServerBackend::Parse(const std::string& text, ServerTables& tables, bool& family95,
                                   std::map<std::string, NetStatus>& failures, std::string& why) {
  try {
    const json doc = json::parse(text);
    if (!doc.is_object()) throw std::runtime_error("the state must be a JSON object");
    ServerTables t;
    const std::string family = Text(doc, "family");
    if (family.empty() || family == "nt") {
      family95 = false;
    } else if (family == "95") {
      family95 = true;
    } else {
      throw std::runtime_error("\"family\" must be \"nt\" or \"95\"");
    }
    for (const auto& e : Array(doc, "shares")) {
      t.shares.push_back({Text(e, "name"), Text(e, "path"), Number(e, "type", 0)});
    }
    for (const auto& e : Array(doc, "connections")) {
      t.connections.push_back(
          {Text(e, "share"), Text(e, "client"), Text(e, "user"), Text(e, "address")});
    }
    for (const auto& e : Array(doc, "files")) {
      t.files.push_back({Text(e, "share"), Text(e, "client"), Text(e, "user"), Text(e, "path"),
                         Text(e, "address")});
    }
    for (const auto& e : Array(doc, "sessions")) {
      t.sessions.push_back(
          {Text(e, "client"), Text(e, "user"), Number(e, "key", 0), Text(e, "address")});
    }
    std::map<std::string, NetStatus> f;
    if (auto it = doc.find("fail"); it != doc.end() && !it->is_null()) {
      if (!it->is_object()) throw std::runtime_error("\"fail\" must be an object");
      for (const auto& [call, status] : it->items()) {
        if (!status.is_number_integer() || status.get<long long>() < 0 ||
            status.get<long long>() > 0xFFFFFFFFLL) {
          throw std::runtime_error("\"fail\" statuses must be whole numbers");
        }
        f[call] = static_cast<NetStatus>(status.get<long long>());
      }
    }
    tables = std::move(t);
    failures = std::move(f);
    return true;
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
}

std::string SimulatedServerBackend::Serialize(const ServerTables& tables, bool family95,
                                              const std::map<std::string, NetStatus>& failures) {
  json doc = json::object();
  doc["family"] = family95 ? "95" : "nt";
  doc["shares"] = json::array();
  for (const auto& s : tables.shares)
    doc["shares"].push_back({{"name", s.name}, {"path", s.path}, {"type", s.type}});
  doc["connections"] = json::array();
  for (const auto& c : tables.connections) {
    json connection = {{"share", c.share}, {"client", c.client}, {"user", c.user}};
    if (!c.address.empty()) connection["address"] = c.address;
    doc["connections"].push_back(std::move(connection));
  }
  doc["files"] = json::array();
  for (const auto& f : tables.files) {
    json file = {{"share", f.share}, {"client", f.client}, {"user", f.user}, {"path", f.path}};
    if (!f.address.empty()) file["address"] = f.address;
    doc["files"].push_back(std::move(file));
  }
  doc["sessions"] = json::array();
  for (const auto& s : tables.sessions) {
    doc["sessions"].push_back(
        {{"client", s.client}, {"user", s.user}, {"key", s.key}, {"address", s.address}});
  }
  if (!failures.empty()) {
    doc["fail"] = json::object();
    for (const auto& [call, status] : failures) doc["fail"][call] = status;
  }
  // Invalid UTF-8 in a text is replaced rather than refused.
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool SimulatedServerBackend::Load(std::string& why) {
  std::string text, error;
  if (!ReadWholeFile(path_, text, error, kDataFileMaxBytes, true)) {
    why = "simulated server: " + error;
    return false;
  }
  std::string parseError;
  std::lock_guard lock(stateMutex_);
  if (!Parse(text, state_, family95_, failures_, parseError)) {
    why = "simulated server: " + path_ + " is not a valid state: " + parseError;
    return false;
  }
  valid_ = true;
  return true;
}

bool SimulatedServerBackend::Reload() {
  const auto started = std::chrono::steady_clock::now();
  // A large state is parsed again only when the file changed. File times
  // move in coarse steps, so a version is trusted to show a later write
  // in place only when it was written two seconds or more before it was
  // read; a newer one is read at every look.
  struct stat st {};
  FileStamp stamp;
  bool trusted = false;
  if (::lstat(path_.c_str(), &st) == 0) {
    stamp = FileStamp::Of(st);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    trusted = now.tv_sec - st.st_mtim.tv_sec >= 2 && now.tv_sec - st.st_ctim.tv_sec >= 2;
    bool unchanged;
    {
      std::lock_guard lock(stateMutex_);
      unchanged = valid_ && stampTrusted_ && stamp == stamp_;
    }
    if (unchanged) {
      ReadingDone(
          true, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
      return true;
    }
  }
  std::string text, error, why;
  bool family95 = family95_;
  ServerTables tables;
  std::map<std::string, NetStatus> failures;
  const bool ok = ReadWholeFile(path_, text, error, kDataFileMaxBytes, true) &&
                  Parse(text, tables, family95, failures, why);
  {
    std::lock_guard lock(stateMutex_);
    valid_ = ok;
    if (ok) {
      // The family is fixed when the service is bound.
      state_ = std::move(tables);
      failures_ = std::move(failures);
      stamp_ = stamp;
    }
    stampTrusted_ = ok && trusted;
  }
  ReadingDone(ok,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return ok;
}

NetStatus SimulatedServerBackend::InjectedStatus(ServerCall call) {
  if (call == ServerCall::NetShareEnum || call == ServerCall::NetSessionEnum) {
    if (!Reload()) return NERR_ServerNotStarted;
  }
  std::lock_guard lock(stateMutex_);
  auto it = failures_.find(ServerCallName(call));
  return it == failures_.end() ? NERR_Success : it->second;
}

NetStatus SimulatedServerBackend::ReadForShares(ServerTables& tables) {
  std::lock_guard lock(stateMutex_);
  if (!valid_) return NERR_ServerNotStarted;
  tables = state_;
  // Every member is optional, but a share is named by its name alone: one
  // without is no share to list. It stays in the file.
  const bool nameless =
      std::erase_if(tables.shares, [](const ServerTables::Share& s) { return s.name.empty(); }) > 0;
  if (nameless && !namelessSaid_) {
    notices_.push_back("simulated server: " + path_ + ": a share without a name is skipped");
  }
  namelessSaid_ = nameless;
  return NERR_Success;
}

std::vector<std::string> SimulatedServerBackend::TakeNotices() {
  std::lock_guard lock(stateMutex_);
  return std::exchange(notices_, {});
}

NetStatus SimulatedServerBackend::ReadForSessions(ServerTables& tables) {
  return ReadForShares(tables);
}

NetStatus SimulatedServerBackend::DeleteClientSessions(const std::string& client,
                                                       const std::string& address,
                                                       const std::uint32_t* key) {
  // Work on the file as it is now, not on the last reading.
  std::string text, error, why;
  bool family95 = family95_;
  ServerTables tables;
  std::map<std::string, NetStatus> failures;
  if (!ReadWholeFile(path_, text, error, kDataFileMaxBytes, true) ||
      !Parse(text, tables, family95, failures, why)) {
    return NERR_ServerNotStarted;
  }
  const NetStatus s = RemoveClient(tables, client, address, key);
  if (s != NERR_Success) return s;
  // The state file is the tester's: it keeps its permissions.
  struct stat st {};
  const mode_t mode = ::stat(path_.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;
  if (!WriteFileAtomically(path_, Serialize(tables, family95, failures), error, mode)) {
    return ERROR_ACCESS_DENIED;
  }
  std::lock_guard lock(stateMutex_);
  state_ = std::move(tables);
  stampTrusted_ = false;
  return NERR_Success;
}

}  // namespace qm
