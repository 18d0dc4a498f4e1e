// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/Ports.h"

namespace qm::test {

// What the monitor showed a test. WindowShown and CurrentPageActive answer
// what the test set.
class RecordingView : public MonitorView {
 public:
  bool WindowShown() const override { return shown; }
  bool CurrentPageActive() const override { return currentPage; }
  void SetCaption(const std::string& text) override {
    caption = text;
    ++captionWrites;
  }
  void SetApplicationHint(const std::string& text) override { hint = text; }
  void SetTrayTooltip(const std::string& text) override { tooltip = text; }
  void SetStatusText(int panel, const std::string& text) override { status[panel] = text; }
  void UpdateConnectedIcon(bool connected) override { icons.push_back(connected); }
  void PopupOnNewConnection() override { ++popups; }
  void PlayAlertSound() override { ++sounds; }
  void NotifyNewConnection(const std::string& client, const std::string& share) override {
    notifications.push_back(client + " " + share);
  }
  void ServerNotice(const std::string& text) override { notices.push_back(text); }
  void StopRefreshTimer() override { timerStopped = true; }
  void RequestTerminate() override { terminateRequested = true; }
  // A stop comes at the stopAt-th check (counted from 0; -1: never).
  bool StopRequested() const override { return stopAt >= 0 && checks++ >= stopAt; }

  bool shown = false;
  bool currentPage = true;
  std::string caption, hint, tooltip;
  std::map<int, std::string> status;
  int captionWrites = 0, popups = 0, sounds = 0;
  std::vector<bool> icons;
  std::vector<std::string> notifications, notices;
  bool timerStopped = false, terminateRequested = false;
  int stopAt = -1;
  mutable int checks = 0;
};

}  // namespace qm::test
