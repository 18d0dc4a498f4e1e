// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <memory>
#include <string>

#include "control/ControlServer.h"
#include "control/ControlService.h"
#include "control/ControlSocket.h"
#include "observe/EventStream.h"

namespace qm {

class Application;
class ConsoleFrontEnd;
class ConsoleTelemetry;

// The console's control socket: listens before the application is
// created, answers between ticks once attached, and streams the events.
class ConsoleControl {
 public:
  ConsoleControl() = default;
  ~ConsoleControl();
  ConsoleControl(const ConsoleControl&) = delete;
  ConsoleControl& operator=(const ConsoleControl&) = delete;

  // path empty: no socket. False with error set when it cannot listen.
  bool Listen(const std::string& path, std::string& error);
  bool Listening() const { return server_ != nullptr; }
  // The descriptor the loop polls (-1 without a socket).
  int WakeDescriptor() const { return server_ ? server_->WakeDescriptor() : -1; }

  // Serves app's monitor; changes are recorded through telemetry.
  void Attach(Application& app, ConsoleFrontEnd& front, ConsoleTelemetry& telemetry);
  // Answers the requests that wait (the monitor's thread, between ticks).
  void RunPending();
  // After every tick: keeps quiet streams alive.
  void AfterTick();
  // Stops answering (what waits gets 503), removes the socket.
  void Detach();

 private:
  ControlSocket socket_;
  std::unique_ptr<ControlServer> server_;
  std::unique_ptr<ControlService> service_;
  std::unique_ptr<EventStream> events_;
  Application* app_ = nullptr;
};

}  // namespace qm
