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
class FrontEnd;

// The control socket of either front end, owned by the Application: it
// listens before the application is created, answers between ticks once
// attached, and streams the events as a sink of the application's event
// stream.
class ControlEndpoint {
 public:
  ControlEndpoint() = default;
  ~ControlEndpoint();
  ControlEndpoint(const ControlEndpoint&) = delete;
  ControlEndpoint& operator=(const ControlEndpoint&) = delete;

  // path empty: no socket. False with error set when it cannot listen.
  bool Listen(const std::string& path, std::string& error);
  bool Listening() const { return server_ != nullptr; }
  // The descriptor the front end's loop watches (-1 without a socket).
  int WakeDescriptor() const { return server_ ? server_->WakeDescriptor() : -1; }

  // Serves app's monitor; changes are published to app's event stream.
  void Attach(Application& app, FrontEnd& front);
  // Answers the requests that wait (the monitor's thread, between ticks).
  void RunPending();
  // Stops answering (what waits gets 503), leaves the event stream,
  // removes the socket.
  void Detach();

 private:
  // The socket's event stream, and the status's last tick; keeps quiet
  // streams alive after every tick.
  class Sink final : public EventSink {
   public:
    Sink(ControlServer& server, ControlService& service) : server_(server), service_(service) {}
    void Connection(const ConnectionEvent& event) override;
    void Control(const ControlEvent& event) override;
    void TickFinished(const Monitor& monitor, double seconds) override;

   private:
    ControlServer& server_;
    ControlService& service_;
  };

  ControlSocket socket_;
  std::unique_ptr<ControlServer> server_;
  std::unique_ptr<ControlService> service_;
  std::unique_ptr<Sink> sink_;
  Application* app_ = nullptr;
  // Declared last: it ends first, before the sink and the server go.
  Subscription subscription_;
};

}  // namespace qm
