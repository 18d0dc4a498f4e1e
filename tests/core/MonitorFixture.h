// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/RefreshCycle.h"
#include "platform/InMemoryServerBackend.h"

namespace qm::test {

// Records what the monitor shows.
class RecordingView : public MonitorView {
 public:
  bool WindowShown() const override { return shown; }
  bool CurrentPageActive() const override { return currentPage; }
  void SetCaption(const std::string& t) override {
    caption = t;
    ++captionWrites;
  }
  void SetApplicationHint(const std::string& t) override { hint = t; }
  void SetTrayTooltip(const std::string& t) override { tooltip = t; }
  void SetStatusText(int panel, const std::string& t) override { status[panel] = t; }
  void UpdateConnectedIcon(bool c) override { icons.push_back(c); }
  void PopupOnNewConnection() override { ++popups; }
  void PlayAlertSound() override { ++sounds; }
  void NotifyNewConnection(const std::string& c, const std::string& s) override {
    notifications.push_back(c + " " + s);
  }
  void StopRefreshTimer() override { timerStopped = true; }
  void RequestTerminate() override { terminateRequested = true; }
  // A stop comes at the stopAt-th check (counted from 0; -1: never).
  bool StopRequested() const override { return stopAt >= 0 && checks++ >= stopAt; }

  bool shown = false;
  bool currentPage = true;
  std::string caption, hint, tooltip, status[3];
  int captionWrites = 0, popups = 0, sounds = 0;
  std::vector<bool> icons;
  std::vector<std::string> notifications;
  bool timerStopped = false, terminateRequested = false;
  int stopAt = -1;
  mutable int checks = 0;
};

class RecordingMessages : public MessageBoxes {
 public:
  void Information(const std::string& t) override { shown.push_back("info: " + t); }
  void Error(const std::string& t) override { shown.push_back("error: " + t); }
  bool Confirm(const std::string& t) override {
    shown.push_back("confirm: " + t);
    return confirmAnswer;
  }
  std::string Prompt(const std::string& c, const std::string& p) override {
    shown.push_back("prompt: " + c + " / " + p);
    return promptAnswer;
  }
  std::vector<std::string> shown;
  bool confirmAnswer = true;
  std::string promptAnswer;
};

// A monitor over an in-memory server with recording ports and a manual clock.
class MonitorFixture : public ::testing::Test {
 protected:
  explicit MonitorFixture(bool family95 = false)
      : backend(family95), api(backend), monitor(api, settings, Ports()), cycle(monitor) {
    api.LoadServerApi();
  }
  MonitorPorts Ports() {
    MonitorPorts p;
    p.clock = &clock;
    p.messages = &messages;
    p.view = &view;
    return p;
  }
  void Tick() { cycle.RefreshTimerTimer(); }
  void Connect(const std::string& client, const std::string& share, const std::string& user = "u") {
    backend.tables.connections.push_back({share, client, user});
    backend.tables.sessions.push_back({client, user, 0, "127.0.0.1"});
  }
  void Open(const std::string& client, const std::string& share, const std::string& path,
            const std::string& user = "u") {
    backend.tables.files.push_back({share, client, user, path});
  }
  void Leave(const std::string& client) { RemoveClient(backend.tables, client, "", nullptr); }

  ManualClock clock;
  RecordingView view;
  RecordingMessages messages;
  Settings settings;
  InMemoryServerBackend backend;
  ServerApi api;
  Monitor monitor;
  RefreshCycle cycle;
};

}  // namespace qm::test
