// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/ConsoleFrontEnd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <ostream>

#include "core/Resources.h"
#include "core/Text.h"
#include "observe/ConnectionEvent.h"

namespace qm {

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, std::ostream& err,
                                 std::function<TDateTime()> now)
    : out_(out), err_(err), now_(std::move(now)) {}

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

std::string ConsoleFrontEnd::Describe(const TreeNode& node) const {
  std::string path;
  for (const TreeNode* n = &node; n; n = n->Parent()) {
    path = n == &node ? Printable(n->Text()) : Printable(n->Text()) + " > " + path;
  }
  static const char* const kKinds[] = {"user", "share", "file"};
  const int level = node.Level();
  return std::string(kKinds[level < 3 ? level : 2]) + " " + path;
}

void ConsoleFrontEnd::NodeInserted(TreeNode& node) {
  const TTreeNodeCustom* r = node.Data();
  out_ << DateTimeText(now_()) << "  connected  " << Describe(node) << "  ("
       << StatusText(r ? r->EnterStatus : int{stLoggedOn}) << ")";
  // A cluster node's clients may be served by another node.
  const auto* user = node.Level() == 0 ? dynamic_cast<const TUser*>(r) : nullptr;
  if (user && !user->Security.node.empty()) out_ << "  node " << Printable(user->Security.node);
  out_ << std::endl;
}

void ConsoleFrontEnd::NodeAboutToBeRemoved(TreeNode& node) {
  // What goes with the node ends with it: files, then shares, then the user.
  for (int i = 0; i < node.ChildCount(); ++i) NodeAboutToBeRemoved(*node.Child(i));
  const TTreeNodeCustom* r = node.Data();
  out_ << DateTimeText(now_()) << "  ended      " << Describe(node) << "  ("
       << StatusText(r ? r->ExitStatus : int{stLoggedOff}) << ")" << std::endl;
}

void ConsoleFrontEnd::LookupFinished(const TUser& user, bool found) {
  if (!found) return;
  out_ << DateTimeText(now_()) << "  found      user " << Printable(user.Name) << "  ("
       << Printable(FoundText(user.IPAddress, user.HostName)) << ")" << std::endl;
}

}  // namespace qm
