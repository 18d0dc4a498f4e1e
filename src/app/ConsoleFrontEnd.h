// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "core/FrontEnd.h"

namespace qm {

// The front end without windows: message boxes as "info: TEXT" / "error:
// TEXT" lines on standard error (the events' lines are the event stream's
// text sink's). It asks nothing: a prompt is answered as if cancelled.
class ConsoleFrontEnd final : public FrontEnd, public MessageBoxes {
 public:
  explicit ConsoleFrontEnd(std::ostream& err);

  // MessageBoxes
  void Information(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  std::string Prompt(const std::string& caption, const std::string& prompt) override;

  // MonitorView / FrontEnd
  void SetRefreshInterval(int milliseconds) override { intervalMs_ = milliseconds; }
  void StartRefreshTimer() override { timerOn_ = true; }
  void StopRefreshTimer() override { timerOn_ = false; }
  void RequestTerminate() override { terminate_ = true; }
  // A stop signal waits on the stop descriptor (it is not taken).
  bool StopRequested() const override;
  void WakeUpForSteps() override;
  // "warning: TEXT" on standard error (the journal, under the service).
  void ServerNotice(const std::string& text) override;
  // The descriptor that becomes readable when lookup steps wait (-1: none).
  void SetWakeUpDescriptor(int fd) { wakeFd_ = fd; }
  // The descriptor that is readable while a stop signal waits (-1: none).
  void SetStopDescriptor(int fd) { stopFd_ = fd; }
  // Where message boxes and server notices go instead of standard error
  // (the journal); empty: standard error.
  enum class Severity { Information, Warning, Error };
  using MessageSink = std::function<void(Severity severity, const std::string& text)>;
  void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }

  int RefreshIntervalMs() const { return intervalMs_; }
  bool TimerOn() const { return timerOn_; }
  bool TerminateRequested() const { return terminate_; }

  // A text as one safe line (EscapedText).
  static std::string Printable(const std::string& text);

 private:
  std::ostream& err_;
  int intervalMs_ = 1000;
  bool timerOn_ = false;
  bool terminate_ = false;
  int wakeFd_ = -1;
  int stopFd_ = -1;
  MessageSink messageSink_;
};

}  // namespace qm
