// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/JsonEventWriter.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "core/Resources.h"
#include "observe/MetricsSnapshot.h"

namespace qm {

namespace {
nlohmann::json OrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}
}  // namespace

std::string JsonEventWriter::IsoTime(double secondsSinceEpoch) {
  double whole = std::floor(secondsSinceEpoch);
  long millis = std::lround((secondsSinceEpoch - whole) * 1000.0);
  if (millis >= 1000) {
    whole += 1;
    millis -= 1000;
  }
  const auto t = static_cast<std::time_t>(whole);
  std::tm local{};
  ::localtime_r(&t, &local);
  const long offset = local.tm_gmtoff;
  const long offsetMinutes = std::labs(offset) / 60;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, millis, offset < 0 ? '-' : '+', offsetMinutes / 60,
                offsetMinutes % 60);
  return buf;
}

void JsonEventWriter::AddSecurity(nlohmann::json& j, const SessionSecurity& s) {
  // Only what the server tells: a server that is no cluster names no node.
  for (const auto& [name, value] : {std::pair{"node", &s.node},
                                    {"dialect", &s.dialect},
                                    {"signing", &s.signing},
                                    {"signing_cipher", &s.signingCipher},
                                    {"encryption", &s.encryption},
                                    {"encryption_cipher", &s.encryptionCipher}}) {
    if (!value->empty()) j[name] = *value;
  }
}

std::string JsonEventWriter::Line(const ConnectionEvent& e) {
  nlohmann::json j;
  j["time"] = IsoTime(e.time);
  j["kind"] = KindName(e.kind);
  j["event"] =
      e.kind == ConnectionEvent::Kind::Security ? FindingName(e.finding) : TypeName(e.type);
  j["status"] = StatusLabel(e.status);
  j["client"] = e.client;
  j["account"] = OrNull(e.account);
  j["address"] = OrNull(e.address);
  j["host"] = OrNull(e.host);
  j["share"] = OrNull(e.share);
  j["path"] = OrNull(e.path);
  if (e.rule) j["rule"] = RuleLabel(*e.rule);
  AddSecurity(j, e.security);
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string JsonEventWriter::Line(const ControlEvent& e) {
  nlohmann::json j;
  j["time"] = IsoTime(e.time);
  j["kind"] = "control";
  j["event"] = e.action;
  j["target"] = e.target;
  j["uid"] = e.uid;
  if (!e.outcome.empty()) {
    j["outcome"] = e.outcome;
    j["address"] = OrNull(e.address);
    if (!e.reason.empty()) j["reason"] = e.reason;
  }
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void JsonEventWriter::Write(const ControlEvent& event) {
  out_ << Line(event) << '\n' << std::flush;
}

void JsonEventWriter::Connection(const ConnectionEvent& event) {
  if (Written(event)) Write(event);
}

void JsonEventWriter::Write(const ConnectionEvent& event) {
  out_ << Line(event) << '\n' << std::flush;
}

void JsonEventWriter::WriteTick(int tick, int users, int files) {
  nlohmann::json j;
  j["kind"] = "tick";
  j["tick"] = tick;
  j["users"] = users;
  j["files"] = files;
  out_ << j.dump() << '\n' << std::flush;
}

}  // namespace qm
