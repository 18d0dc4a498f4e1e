#include "observe/EventStream.h"

#include "core/Monitor.h"

namespace qm {

namespace {
// "Not known yet" and "Not known" say nothing a log reader can use.
std::string Known(const std::string& text) {
  return text == kNotKnownYet || text == kNotKnown ? std::string() : text;
}
}  // namespace

const char* KindName(ConnectionEvent::Kind kind) {
  switch (kind) {
    case ConnectionEvent::Kind::User:
      return "user";
    case ConnectionEvent::Kind::Share:
      return "share";
    case ConnectionEvent::Kind::File:
      return "file";
  }
  return "file";
}

EventStream::EventStream(Sink sink, std::function<double()> now)
    : sink_(std::move(sink)), now_(std::move(now)) {}

void EventStream::Disconnecting(const TUser& user, DisconnectRule rule) {
  rules_[&user] = rule;
}

void EventStream::NodeInserted(TreeNode& node) {
  Emit(node, true);
}

void EventStream::NodeAboutToBeRemoved(TreeNode& node) {
  // What goes with the node ends with it: files, then shares, then the user.
  for (int i = 0; i < node.ChildCount(); ++i) NodeAboutToBeRemoved(*node.Child(i));
  Emit(node, false);
  if (!node.Parent()) rules_.erase(dynamic_cast<const TUser*>(node.Data()));
}

void EventStream::Emit(TreeNode& node, bool begin) {
  ConnectionEvent e;
  e.begin = begin;
  e.time = now_();
  const int level = node.Level();
  e.kind = level == 0   ? ConnectionEvent::Kind::User
           : level == 1 ? ConnectionEvent::Kind::Share
                        : ConnectionEvent::Kind::File;
  const TTreeNodeCustom* r = node.Data();
  const int fallback = begin ? stLoggedOn : stLoggedOff;
  e.status = r ? (begin ? r->EnterStatus : r->ExitStatus) : fallback;
  e.status &= 0x7F;
  TreeNode* top = &node;
  while (top->Parent()) {
    if (top->Level() == 1) e.share = top->Text();
    top = top->Parent();
  }
  if (level >= 2) e.path = node.Text();
  e.client = top->Text();
  if (const TUser* user = Monitor::UserOfNode(&node)) {
    e.account = Known(user->UserName);
    e.address = Known(user->IPAddress);
    e.host = Known(user->HostName);
    if (!begin && e.status == stKicked) {
      if (auto it = rules_.find(user); it != rules_.end()) e.rule = it->second;
    }
  }
  sink_(e);
}

}  // namespace qm
