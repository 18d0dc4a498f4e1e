#include "app/ConsoleFrontEnd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>

namespace qm {

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, std::ostream& err,
                                 std::function<TDateTime()> now)
    : out_(out), err_(err), now_(std::move(now)) {}

void ConsoleFrontEnd::Information(const std::string& text) {
  err_ << "info: " << Printable(text) << std::endl;
}

void ConsoleFrontEnd::Error(const std::string& text) {
  err_ << "error: " << Printable(text) << std::endl;
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

std::string ConsoleFrontEnd::Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  auto escape = [&out](unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
  };
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == '\\') {
      if (c == '\\') {
        out += "\\\\";
      } else {
        escape(c);
      }
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // Keep whole, valid UTF-8 characters; escape stray bytes.
    int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool valid = len > 0 && i + static_cast<std::size_t>(len) <= text.size();
    for (int k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) == 0x80;
    }
    if (!valid) {
      escape(c);
      ++i;
      continue;
    }
    out.append(text, i, static_cast<std::size_t>(len));
    i += static_cast<std::size_t>(len);
  }
  return out;
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
       << StatusText(r ? r->EnterStatus : int{stLoggedOn}) << ")" << std::endl;
}

void ConsoleFrontEnd::NodeAboutToBeRemoved(TreeNode& node) {
  // What goes with the node ends with it: files, then shares, then the user.
  for (int i = 0; i < node.ChildCount(); ++i) NodeAboutToBeRemoved(*node.Child(i));
  const TTreeNodeCustom* r = node.Data();
  out_ << DateTimeText(now_()) << "  ended      " << Describe(node) << "  ("
       << StatusText(r ? r->ExitStatus : int{stLoggedOff}) << ")" << std::endl;
}

}  // namespace qm
