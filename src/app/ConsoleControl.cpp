// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleControl.h"

#include "app/Application.h"
#include "observe/JsonEventWriter.h"

namespace qm {

ControlEndpoint::~ControlEndpoint() {
  Detach();
}

bool ControlEndpoint::Listen(const std::string& path, std::string& error) {
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

void ControlEndpoint::Attach(Application& app, FrontEnd& front) {
  if (!server_) return;
  app_ = &app;
  ControlService::Hooks hooks;
  hooks.now = &EventStream::WallClockSeconds;
  hooks.record = [&app](const ControlEvent& e) { app.Events().Publish(e); };
  hooks.refreshChanged = [&front](int milliseconds) { front.SetRefreshInterval(milliseconds); };
  hooks.setStartupRegistration = [&app](bool enabled) {
    return app.SetStartupRegistration(enabled);
  };
  service_ = std::make_unique<ControlService>(app.GetMonitor(), app.Rules(), std::move(hooks));
  sink_ = std::make_unique<Sink>(*server_, *service_);
  subscription_ = app.Events().Subscribe(*sink_);
}

void ControlEndpoint::RunPending() {
  if (!server_) return;
  for (ControlRequest* request : server_->TakePending()) {
    if (service_ && app_) {
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

void ControlEndpoint::Detach() {
  subscription_.Reset();
  app_ = nullptr;
  if (server_) server_->Stop();
  server_.reset();
  socket_.Remove();
}

void ControlEndpoint::Sink::Connection(const ConnectionEvent& event) {
  if (Written(event)) server_.Broadcast(JsonEventWriter::Line(event));
}

void ControlEndpoint::Sink::Control(const ControlEvent& event) {
  server_.Broadcast(JsonEventWriter::Line(event));
}

void ControlEndpoint::Sink::TickFinished(const Monitor& monitor, double seconds) {
  service_.TickFinished(monitor, seconds);
  server_.KeepAlive();
}

}  // namespace qm
