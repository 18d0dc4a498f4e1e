// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The simulated server's state reader over any bytes: it never crashes, a
// refusal says why, and a state it accepts writes a document that reads
// back to the same state.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "FuzzCheck.h"
#include "platform/sim/SimulatedServerBackend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qm::ServerTables tables;
  bool family95 = false;
  std::map<std::string, qm::NetStatus> failures;
  std::string why;
  if (!qm::SimulatedServerBackend::Parse(text, tables, family95, failures, why)) {
    Check(!why.empty());
    return 0;
  }
  // Invalid UTF-8 is replaced once; from then on the document is stable.
  const std::string written = qm::SimulatedServerBackend::Serialize(tables, family95, failures);
  qm::ServerTables again;
  bool family95Again = !family95;
  std::map<std::string, qm::NetStatus> failuresAgain;
  Check(qm::SimulatedServerBackend::Parse(written, again, family95Again, failuresAgain, why));
  Check(family95Again == family95 && failuresAgain == failures);
  Check(again.shares.size() == tables.shares.size() &&
        again.sessions.size() == tables.sessions.size() &&
        again.connections.size() == tables.connections.size() &&
        again.files.size() == tables.files.size());
  Check(qm::SimulatedServerBackend::Serialize(again, family95Again, failuresAgain) == written);
  return 0;
}
