// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

#include "observe/ConnectionEvent.h"
#include "observe/ControlEvent.h"
#include "observe/EventStream.h"

namespace qm {

// One JSON object per line on a stream, as docs/events.schema.json
// describes: for log shippers. Texts that are not UTF-8 have the bad
// bytes replaced, so every line parses.
class JsonEventWriter final : public EventSink {
 public:
  explicit JsonEventWriter(std::ostream& out) : out_(out) {}

  // EventSink: the events the written streams carry (Written).
  void Connection(const ConnectionEvent& event) override;
  void Control(const ControlEvent& event) override { Write(event); }

  void Write(const ConnectionEvent& event);
  // The line of a tick in step mode.
  void WriteTick(int tick, int users, int files);

  static std::string Line(const ConnectionEvent& event);
  // The facts the server told of a user's sessions as the fields "node",
  // "dialect", "signing", "signing_cipher", "encryption" and
  // "encryption_cipher", each only where told.
  static void AddSecurity(nlohmann::json& j, const SessionSecurity& security);
  static std::string Line(const ControlEvent& event);
  void Write(const ControlEvent& event);
  // Local time with its offset, to the millisecond: 2026-12-07T11:09:25.120+01:00.
  static std::string IsoTime(double secondsSinceEpoch);

 private:
  std::ostream& out_;
};

}  // namespace qm
