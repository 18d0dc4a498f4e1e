// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/TextEventWriter.h"

#include <ostream>

#include "core/DateTime.h"
#include "core/Resources.h"
#include "core/Text.h"
#include "observe/MetricsSnapshot.h"

namespace qm {

namespace {
// "user PC1", "share PC1 > DOCS", "file PC1 > DOCS > /srv/docs/a.txt".
std::string Where(const ConnectionEvent& e, const char* kind) {
  std::string where = std::string(kind) + " " + EscapedText(e.client);
  if (!e.share.empty()) where += " > " + EscapedText(e.share);
  if (!e.path.empty()) where += " > " + EscapedText(e.path);
  return where;
}
}  // namespace

std::string TextEventWriter::Line(const ConnectionEvent& e) {
  using Type = ConnectionEvent::Type;
  if (!Written(e)) return {};
  if (e.kind == ConnectionEvent::Kind::Security) {
    const char* kind = e.share.empty() ? "user" : "share";
    return "security   " + Where(e, kind) + "  (" + FindingName(e.finding) + ")";
  }
  if (e.type == Type::Found) {
    return "found      user " + EscapedText(e.client) + "  (" +
           EscapedText(FoundText(e.address, e.host)) + ")";
  }
  const bool begin = e.type == Type::Begin;
  std::string line = std::string(begin ? "connected  " : "ended      ") +
                     Where(e, KindName(e.kind)) + "  (" + StatusText(e.status) + ")";
  // A cluster node's clients may be served by another node.
  if (begin && e.kind == ConnectionEvent::Kind::User && !e.security.node.empty()) {
    line += "  node " + EscapedText(e.security.node);
  }
  if (!begin && e.rule) line += std::string("  rule ") + RuleLabel(*e.rule);
  return line;
}

void TextEventWriter::Connection(const ConnectionEvent& event) {
  const std::string line = Line(event);
  if (!line.empty()) out_ << DateTimeText(FromUnixTime(event.time)) << "  " << line << std::endl;
}

void TextEventWriter::Control(const ControlEvent& event) {
  out_ << DateTimeText(FromUnixTime(event.time)) << "  control    " << event.Text() << std::endl;
}

}  // namespace qm
