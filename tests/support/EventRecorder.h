// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <vector>

#include "observe/EventStream.h"

namespace qm::test {

// Keeps a stream's events while it lives: those written, or (all) every one.
class EventRecorder final : public EventSink {
 public:
  explicit EventRecorder(EventStream& stream, bool all = false)
      : all_(all), subscription_(stream.Subscribe(*this)) {}
  void Connection(const ConnectionEvent& e) override {
    if (all_ || Written(e)) events.push_back(e);
  }
  void Control(const ControlEvent& e) override { controls.push_back(e); }

  std::vector<ConnectionEvent> events;
  std::vector<ControlEvent> controls;

 private:
  bool all_;
  Subscription subscription_;
};

}  // namespace qm::test
