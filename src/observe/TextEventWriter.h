// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <iosfwd>
#include <string>

#include "observe/EventStream.h"

namespace qm {

// The events as the console's text lines, one per event, each a safe line
// (EscapedText): a user, share or file that appears or ends, with its
// status ("  node N" for a cluster's user, "  rule R" for an end by a
// rule or a command), a found address, a security finding and a change
// through the control socket.
class TextEventWriter final : public EventSink {
 public:
  explicit TextEventWriter(std::ostream& out) : out_(out) {}

  void Connection(const ConnectionEvent& event) override;
  void Control(const ControlEvent& event) override;

  // The line of an event, without its time and newline: "connected  user
  // PC1  (Logged on)"; empty for an event the written streams leave out.
  static std::string Line(const ConnectionEvent& event);

 private:
  std::ostream& out_;
};

}  // namespace qm
