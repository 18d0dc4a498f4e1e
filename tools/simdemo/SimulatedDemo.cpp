// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Drives the simulated server for the demo: client computers come, open
// files, print and go, in a loop, by rewriting the state file every few
// seconds. Ends on SIGINT/SIGTERM or after --rounds rounds.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "os/AtomicFile.h"
#include "platform/sim/SimulatedServerBackend.h"

namespace {

volatile std::sig_atomic_t stop = 0;
void OnSignal(int) {
  stop = 1;
}

struct Visitor {
  const char* client;
  const char* user;
  const char* address;
  int arrives;                                             // step of the round it comes in
  int leaves;                                              // step it goes
  std::vector<std::pair<const char*, const char*>> files;  // share, name
  bool prints;
};

const std::vector<Visitor> kVisitors = {
    {"ACCOUNTING-PC",
     "alice",
     "127.0.0.1",
     0,
     9,
     {{"DOCS", "budget-2026.ods"}, {"DOCS", "invoices/march.pdf"}},
     false},
    {"LAPTOP7", "bob", "127.0.0.2", 1, 5, {{"PUBLIC", "holiday-photos/beach.jpg"}}, true},
    {"RECEPTION", "carol", "127.0.0.3", 3, 8, {}, true},
    {"BUILD-SERVER",
     "ci",
     "127.0.0.4",
     4,
     7,
     {{"DOCS", "release-notes.txt"}, {"PUBLIC", "tools/setup.sh"}},
     false},
    {"warehouse-tablet", "dave", "127.0.0.5", 6, 9, {{"PUBLIC", "stock.csv"}}, false},
};
constexpr int kStepsPerRound = 10;

qm::ServerTables StateAt(int step) {
  qm::ServerTables t;
  t.shares = {{"IPC$", "", 3},
              {"DOCS", "/srv/docs", 0},
              {"PUBLIC", "/srv/public", 0},
              {"LASER", "/var/spool/samba", 1}};
  std::uint32_t key = 1;
  for (const Visitor& v : kVisitors) {
    if (step < v.arrives || step >= v.leaves) continue;
    t.sessions.push_back({v.client, v.user, key++, v.address});
    t.connections.push_back({"IPC$", v.client, v.user});
    bool docs = false, pub = false;
    for (const auto& [share, name] : v.files) {
      docs = docs || std::string(share) == "DOCS";
      pub = pub || std::string(share) == "PUBLIC";
      // Files open a step after the visitor arrives.
      if (step > v.arrives) {
        const std::string folder = std::string(share) == "DOCS" ? "/srv/docs/" : "/srv/public/";
        t.files.push_back({share, v.client, v.user, folder + name});
      }
    }
    if (docs) t.connections.push_back({"DOCS", v.client, v.user});
    if (pub || v.files.empty()) t.connections.push_back({"PUBLIC", v.client, v.user});
    if (v.prints && step == v.arrives + 1) t.connections.push_back({"LASER", v.client, v.user});
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  // An option is never taken for the state file's name: the demo writes
  // that file, so a mistyped option would leave a file named after it.
  CLI::App cli{"Drives the simulated server of the demo: clients come, open files, print and go.",
               "quillmoor98-simdemo"};
  std::string path;
  int seconds = 3;
  int rounds = -1;
  cli.add_option("STATE", path, "the simulated server's state file to rewrite")->required();
  cli.add_option("--seconds", seconds, "seconds between two changes (at least 1)")
      ->check(CLI::Range(1, 3600));
  cli.add_option("--rounds", rounds, "rounds to play before ending (default: until a signal)");
  CLI11_PARSE(cli, argc, argv);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  for (int round = 0; !stop && (rounds < 0 || round < rounds); ++round) {
    for (int step = 0; step < kStepsPerRound && !stop; ++step) {
      std::string error;
      if (!qm::WriteFileAtomically(
              path, qm::SimulatedServerBackend::Serialize(StateAt(step), false, {}), error)) {
        std::cerr << "quillmoor98-simdemo: " << error << '\n';
        return 1;
      }
      for (int s = 0; s < seconds * 10 && !stop; ++s)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  return 0;
}
