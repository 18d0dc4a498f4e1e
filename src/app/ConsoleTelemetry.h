// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "observe/EventStream.h"
#include "observe/JournalEventWriter.h"
#include "observe/JsonEventWriter.h"
#include "observe/ListenAddress.h"
#include "observe/MetricsRecorder.h"
#include "observe/MetricsServer.h"
#include "observe/TextEventWriter.h"
#include "observe/WebAccess.h"

namespace qm {

class Application;
class ConsoleFrontEnd;

// How the console front end reports events.
enum class EventFormat {
  Text,  // the console's text lines (the journal's fields under systemd)
  Json,  // one JSON object per line
};

struct ConsoleTelemetryOptions {
  std::optional<ListenAddress> metrics;  // no endpoint when unset
  bool metricsClients = false;           // an info metric per current client
  std::string webConfig;                 // the endpoint's web configuration file, if any
  EventFormat events = EventFormat::Text;
  // Events and messages go to the journal with their fields instead of the
  // text lines (standard output is systemd's journal stream).
  bool journal = false;
};

// The console's metrics endpoint and event writers: sinks of a created
// application's event stream, taken out before it goes.
class ConsoleTelemetry {
 public:
  ConsoleTelemetry(ConsoleTelemetryOptions options, std::ostream& out);
  ~ConsoleTelemetry();
  ConsoleTelemetry(const ConsoleTelemetry&) = delete;
  ConsoleTelemetry& operator=(const ConsoleTelemetry&) = delete;

  // Starts the endpoint, if one is asked for; false with error set when
  // it cannot listen. Until Attach its scrapes show an empty monitor.
  bool Listen(std::string& error);
  // Subscribes the metrics and the chosen writer to app's events; under
  // the journal, front's messages go there too.
  void Attach(Application& app, ConsoleFrontEnd& front);
  void Detach();

  // The step mode's line after a tick.
  void TickLine(int tick, int users, int files);
  // The port the endpoint listens on (0: none).
  std::uint16_t MetricsPort() const { return server_ ? server_->Port() : 0; }

 private:
  bool LoadWebConfig(std::string& error);

  ConsoleTelemetryOptions options_;
  std::ostream& out_;
  Application* app_ = nullptr;
  ConsoleFrontEnd* front_ = nullptr;
  std::unique_ptr<MetricsRecorder> recorder_;
  WebAccess access_;  // outlives the server that uses it
  std::unique_ptr<MetricsServer> server_;
  JsonEventWriter json_;
  JournalEventWriter journal_;
  TextEventWriter text_;
  // Declared last: they end before the sinks they name.
  std::vector<Subscription> subscriptions_;
};

}  // namespace qm
