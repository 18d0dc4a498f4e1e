// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleFrontEnd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <ostream>

#include "core/Text.h"

namespace qm {

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& err) : err_(err) {}

void ConsoleFrontEnd::Information(const std::string& text) {
  if (messageSink_) return messageSink_(Severity::Information, text);
  err_ << "info: " << Printable(text) << std::endl;
}

void ConsoleFrontEnd::Error(const std::string& text) {
  if (messageSink_) return messageSink_(Severity::Error, text);
  err_ << "error: " << Printable(text) << std::endl;
}

bool ConsoleFrontEnd::StopRequested() const {
  if (stopFd_ < 0) return false;
  pollfd p{stopFd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

void ConsoleFrontEnd::WakeUpForSteps() {
  if (wakeFd_ >= 0) ::eventfd_write(wakeFd_, 1);
}

bool ConsoleFrontEnd::Confirm(const std::string& /*text*/) {
  return false;
}

std::string ConsoleFrontEnd::Prompt(const std::string& /*caption*/, const std::string& /*prompt*/) {
  return {};
}

void ConsoleFrontEnd::ServerNotice(const std::string& text) {
  if (messageSink_) return messageSink_(Severity::Warning, text);
  err_ << "warning: " << Printable(text) << std::endl;
}

std::string ConsoleFrontEnd::Printable(const std::string& text) {
  return EscapedText(text);
}

}  // namespace qm
