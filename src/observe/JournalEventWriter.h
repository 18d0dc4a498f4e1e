// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>
#include <vector>

#include "observe/ConnectionEvent.h"
#include "observe/ControlEvent.h"
#include "observe/EventStream.h"

namespace qm {

// Connection events and messages as journal entries with structured
// fields (QUILLMOOR98_CLIENT=PC1 and the others), so that
// `journalctl -u quillmoor98 QUILLMOOR98_CLIENT=pc1` finds a client's
// history.
class JournalEventWriter final : public EventSink {
 public:
  // EventSink: the events the written streams carry (Written).
  void Connection(const ConnectionEvent& event) override;
  void Control(const ControlEvent& event) override { Write(event); }
  void Write(const ConnectionEvent& event);
  // A change through the control socket, at priority notice.
  void Write(const ControlEvent& event);
  // A message box's text: priority as syslog's (LOG_ERR, LOG_NOTICE, ...).
  void Message(int priority, const std::string& text);

  // The entry's fields, "NAME=value" each, MESSAGE and PRIORITY included.
  static std::vector<std::string> Fields(const ConnectionEvent& event);
  static std::vector<std::string> Fields(const ControlEvent& event);

  // True when fd is the stream systemd connected to the journal
  // (JOURNAL_STREAM names its device and inode).
  static bool IsJournalStream(int fd);
};

}  // namespace qm
