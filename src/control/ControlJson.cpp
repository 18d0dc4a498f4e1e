// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlJson.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "observe/JsonEventWriter.h"
#include "observe/MetricsSnapshot.h"

namespace qm {

namespace {
constexpr const char* kStatusNames[] = {"nobody", "list", "everybody"};

nlohmann::json Share(const TreeNode& node) {
  nlohmann::json share;
  const TTreeNodeCustom* r = node.Data();
  share["name"] = node.Text();
  share["kind"] = node.ImageIndex() == kImagePrintShare ? "print" : "disk";
  share["entered"] = r ? ControlJson::Time(r->EnterTime) : nlohmann::json(nullptr);
  share["left"] = r ? ControlJson::Time(r->ExitTime) : nlohmann::json(nullptr);
  nlohmann::json files = nlohmann::json::array();
  for (int i = 0; i < node.ChildCount(); ++i) {
    const TreeNode& file = *node.Child(i);
    const TTreeNodeCustom* f = file.Data();
    files.push_back({{"path", file.Text()},
                     {"entered", f ? ControlJson::Time(f->EnterTime) : nlohmann::json(nullptr)},
                     {"left", f ? ControlJson::Time(f->ExitTime) : nlohmann::json(nullptr)}});
  }
  share["files"] = std::move(files);
  return share;
}
}  // namespace

nlohmann::json ControlJson::Time(TDateTime value) {
  if (value == 0) return nullptr;
  const DateTimeParts p = SplitDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return text;
}

nlohmann::json ControlJson::Known(const std::string& text) {
  if (text == kNotKnownYet || text == kNotKnown || text.empty()) return nullptr;
  return text;
}

nlohmann::json ControlJson::User(const TreeNode& node, const Monitor& monitor) {
  nlohmann::json user;
  const TTreeNodeCustom* r = node.Data();
  const auto* u = dynamic_cast<const TUser*>(r);
  user["client"] = node.Text();
  user["account"] = u ? Known(u->UserName) : nlohmann::json(nullptr);
  user["address"] = u ? Known(u->IPAddress) : nlohmann::json(nullptr);
  user["host"] = u ? Known(u->HostName) : nlohmann::json(nullptr);
  user["entered"] = r ? Time(r->EnterTime) : nlohmann::json(nullptr);
  user["enter_status"] = r ? nlohmann::json(StatusLabel(r->EnterStatus)) : nlohmann::json(nullptr);
  user["left"] = r ? Time(r->ExitTime) : nlohmann::json(nullptr);
  // An open connection has no exit status yet, unless it was disconnected.
  const bool ended = r && (!r->IsOpen() || (r->ExitStatus & 0x7F) == stKicked);
  user["exit_status"] =
      ended ? nlohmann::json(StatusLabel(r->ExitStatus)) : nlohmann::json(nullptr);
  user["idle_seconds"] = r && r->IsOpen()
                             ? nlohmann::json(std::lround(std::max(0.0, monitor.IdleSeconds(*r))))
                             : nlohmann::json(nullptr);
  nlohmann::json shares = nlohmann::json::array();
  for (int i = 0; i < node.ChildCount(); ++i) shares.push_back(Share(*node.Child(i)));
  user["shares"] = std::move(shares);
  // What the server tells of the user's sessions, only where it tells it.
  if (u && u->Security != SessionSecurity{}) {
    const SessionSecurity& s = u->Security;
    nlohmann::json security = {{"unencrypted_shares", s.unencryptedShares}};
    JsonEventWriter::AddSecurity(security, s);
    user["security"] = std::move(security);
  }
  return user;
}

const char* ControlJson::DisconnectStatusName(int whoToKick) {
  return whoToKick >= KickNobody && whoToKick <= KickAll ? kStatusNames[whoToKick] : "nobody";
}

int ControlJson::DisconnectStatusCode(const std::string& name) {
  for (int i = KickNobody; i <= KickAll; ++i) {
    if (name == kStatusNames[i]) return i;
  }
  return -1;
}

}  // namespace qm
