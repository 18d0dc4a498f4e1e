// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleControl.h"

#include "app/Application.h"
#include "app/ConsoleFrontEnd.h"
#include "app/ConsoleTelemetry.h"
#include "observe/JsonEventWriter.h"

namespace qm {

ConsoleControl::~ConsoleControl() {
  Detach();
}

bool ConsoleControl::Listen(const std::string& path, std::string& error) {
  if (path.empty()) return true;
  const int fd = socket_.Listen(path, error);
  if (fd < 0) return false;
  server_ = std::make_unique<ControlServer>(ControlServer::Limits{});
  if (!server_->Start(fd, error)) {
    server_.reset();
    socket_.Remove();
    return false;
  }
  return true;
}

void ConsoleControl::Attach(Application& app, ConsoleFrontEnd& front, ConsoleTelemetry& telemetry) {
  if (!server_) return;
  app_ = &app;
  ControlServer* server = server_.get();
  ControlService::Hooks hooks;
  hooks.now = &ConsoleTelemetry::WallClockSeconds;
  hooks.record = [server, &telemetry](const ControlEvent& e) {
    telemetry.Record(e);
    server->Broadcast(JsonEventWriter::Line(e));
  };
  hooks.refreshChanged = [&front](int milliseconds) { front.SetRefreshInterval(milliseconds); };
  hooks.setStartupRegistration = [&app](bool enabled) {
    return app.SetStartupRegistration(enabled);
  };
  service_ = std::make_unique<ControlService>(app.GetMonitor(), app.Rules(), std::move(hooks));
  events_ = std::make_unique<EventStream>(
      [server](const ConnectionEvent& e) { server->Broadcast(JsonEventWriter::Line(e)); },
      &ConsoleTelemetry::WallClockSeconds);
  app.GetMonitor().TreeViewCurrent.AddObserver(events_.get());
  telemetry.Add(events_.get());
  telemetry.Add(service_.get());
}

void ConsoleControl::RunPending() {
  if (!server_) return;
  for (ControlRequest* request : server_->TakePending()) {
    if (service_) {
      // A request sees the files as they are now, and what it changed is
      // stored before the answer goes: what was answered survives a kill.
      app_->ReloadChangedFiles();
      service_->Handle(*request);
      app_->StoreChanges();
    } else {
      request->status = 503;
      request->answer = "{\"error\":\"the monitor is not running\"}\n";
    }
    server_->Complete(request);
  }
}

void ConsoleControl::AfterTick() {
  if (server_) server_->KeepAlive();
}

void ConsoleControl::Detach() {
  if (server_) server_->Stop();
  server_.reset();
  socket_.Remove();
  if (app_ && events_) app_->GetMonitor().TreeViewCurrent.RemoveObserver(events_.get());
  app_ = nullptr;
}

}  // namespace qm
