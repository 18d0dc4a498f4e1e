// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleTelemetry.h"

#include <syslog.h>

#include <chrono>
#include <ostream>

#include "app/Application.h"
#include "app/ConsoleFrontEnd.h"
#include "observe/PrometheusText.h"
#include "observe/WebConfig.h"
#include "os/AtomicFile.h"

namespace qm {

ConsoleTelemetry::ConsoleTelemetry(ConsoleTelemetryOptions options, std::ostream& out)
    : options_(std::move(options)), out_(out), json_(out), text_(out) {
  if (options_.metrics) {
    MetricsRecorder::Options o;
    o.clientInfo = options_.metricsClients;
    o.version = QM_PROJECT_VERSION;
    o.listed = [this](const TUser& user) {
      return app_ && app_->Rules().List().ListsUser(user.Name, user.IPAddress);
    };
    recorder_ = std::make_unique<MetricsRecorder>(std::move(o));
  }
}

ConsoleTelemetry::~ConsoleTelemetry() {
  Detach();
}

bool ConsoleTelemetry::Listen(std::string& error) {
  if (!recorder_) return true;
  MetricsRecorder* recorder = recorder_.get();
  server_ = std::make_unique<MetricsServer>(
      [recorder] { return PrometheusText::Render(*recorder->Snapshot()); },
      MetricsServer::Limits{});
  if (!options_.webConfig.empty() && !LoadWebConfig(error)) return false;
  return server_->Start(*options_.metrics, error);
}

bool ConsoleTelemetry::LoadWebConfig(std::string& error) {
  const std::string& path = options_.webConfig;
  // Files that grant access: refused when anybody but root or this user
  // could change them. A link of root's or this user's is followed
  // (certificates are often links to the newest).
  auto read = [](const std::string& file, std::string& text, std::string& why) {
    return ReadTrustedFile(file, text, why, std::size_t{1} << 20);
  };
  std::string text;
  if (!read(path, text, error)) return false;
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::optional<WebConfig> config = WebConfig::Parse(text, folder, error);
  if (!config || !access_.Load(*config, read, error)) {
    error = "web configuration " + path + ": " + error;
    return false;
  }
  server_->SetAccess(&access_);
  return true;
}

void ConsoleTelemetry::Attach(Application& app, ConsoleFrontEnd& front) {
  app_ = &app;
  front_ = &front;
  EventStream& events = app.Events();
  if (recorder_) subscriptions_.push_back(events.Subscribe(*recorder_));
  if (options_.journal) {
    subscriptions_.push_back(events.Subscribe(journal_));
    front.SetMessageSink([this](ConsoleFrontEnd::Severity severity, const std::string& text) {
      const int priority = severity == ConsoleFrontEnd::Severity::Error     ? LOG_ERR
                           : severity == ConsoleFrontEnd::Severity::Warning ? LOG_WARNING
                                                                            : LOG_NOTICE;
      journal_.Message(priority, text);
    });
  } else if (options_.events == EventFormat::Json) {
    subscriptions_.push_back(events.Subscribe(json_));
  } else {
    subscriptions_.push_back(events.Subscribe(text_));
  }
}

void ConsoleTelemetry::Detach() {
  // The endpoint first: its thread reads the recorder.
  if (server_) server_->Stop();
  subscriptions_.clear();
  if (!app_) return;
  if (options_.journal) front_->SetMessageSink(nullptr);
  app_ = nullptr;
}

void ConsoleTelemetry::TickLine(int tick, int users, int files) {
  if (options_.events == EventFormat::Json && !options_.journal) {
    json_.WriteTick(tick, users, files);
  } else {
    out_ << "tick " << tick << " users " << users << " files " << files << std::endl;
  }
}

}  // namespace qm
