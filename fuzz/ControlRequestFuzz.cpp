// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The control socket's requests over any bytes: the first line is the
// method and the path (with an optional ?format=), the rest the body. Every
// answer is JSON or, for the text history, the text log; nothing a request
// sets leaves the ranges the settings file allows, and nothing it puts in
// the Disconnect List breaks a line of KickList.dat.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "control/ControlService.h"
#include "core/RefreshCycle.h"
#include "platform/InMemoryServerBackend.h"
#include "store/OptionKeys.h"

namespace {
struct World {
  World() {
    backend.tables.shares = {{"DOCS", "/srv/docs", 0}};
    backend.tables.connections = {{"DOCS", "PC1", "alice"}};
    backend.tables.sessions = {{"PC1", "alice", 0, "10.0.0.1"}};
    api.LoadServerApi();
    monitor.ProgramStarting = false;
    monitor.SetRules(&rules);
    cycle.RefreshTimerTimer();
  }
  qm::InMemoryServerBackend backend;
  qm::ServerApi api{backend};
  qm::Settings settings;
  qm::ManualClock clock;
  qm::MonitorPorts ports = [this] {
    qm::MonitorPorts p;
    p.clock = &clock;
    return p;
  }();
  qm::Monitor monitor{api, settings, ports};
  qm::EnforcementRules rules{monitor, nullptr};
  qm::RefreshCycle cycle{monitor};
  qm::ControlService service{monitor, rules, {}};
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line = input.find('\n');
  const std::string_view head = input.substr(0, line);
  const std::size_t blank = head.find(' ');
  qm::ControlRequest request;
  request.method = std::string(head.substr(0, blank));
  request.path = blank == std::string_view::npos ? "" : std::string(head.substr(blank + 1));
  if (const std::size_t query = request.path.find("?format="); query != std::string::npos) {
    request.query["format"] = request.path.substr(query + 8);
    request.path.resize(query);
  }
  request.body = line == std::string_view::npos ? "" : std::string(input.substr(line + 1));
  world.service.Handle(request);

  if (request.contentType == "application/json") {
    Check(!nlohmann::json::parse(request.answer, nullptr, false).is_discarded());
  } else {
    Check(request.status == 200 && request.answer.rfind("Log file generated", 0) == 0);
  }
  std::string reason;
  for (const qm::OptionKeys::Key& key : qm::OptionKeys::All()) {
    if (key.integer) Check(qm::OptionKeys::CheckInteger(key, world.settings.*key.integer, reason));
    if (key.text) Check(qm::OptionKeys::CheckText(key, world.settings.*key.text, reason));
  }
  for (const qm::DisconnectListEntry& e : world.rules.List().Entries()) {
    for (const char c : e.EntryName + e.EntryAddress) Check(c != '\r' && c != '\n' && c != '\0');
  }
  if (world.rules.List().Count() > 1000) world.rules.List().Clear();
  return 0;
}
