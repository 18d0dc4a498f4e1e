// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "observe/PrometheusText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "core/Resources.h"
#include "core/Text.h"

namespace qm {

namespace {

void AppendNumber(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "+Inf" : "-Inf";
    return;
  }
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

void AppendNumber(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

void AppendNumber(std::string& out, int value) {
  char buf[16];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

template <typename Number>
void Gauge(std::string& out, const char* name, const char* help, Number value) {
  Header(out, name, "gauge", help);
  out += name;
  out += ' ';
  AppendNumber(out, value);
  out += '\n';
}

// name{label="value",...} number
class Sample {
 public:
  Sample(std::string& out, const char* name) : out_(out) { out_ += name; }
  Sample& Label(const char* label, std::string_view value) {
    out_ += first_ ? '{' : ',';
    first_ = false;
    out_ += label;
    out_ += "=\"";
    out_ += PrometheusText::LabelValue(value);
    out_ += '"';
    return *this;
  }
  template <typename Number>
  void Value(Number value) {
    if (!first_) out_ += '}';
    out_ += ' ';
    AppendNumber(out_, value);
    out_ += '\n';
  }

 private:
  std::string& out_;
  bool first_ = true;
};

// Only the statuses a visit can begin (or end) with are shown, always, so
// that rates and alerts have a series from the start.
void Visits(std::string& out, const char* name, const char* help,
            const std::array<std::array<std::uint64_t, kStatusCount>, kKindCount>& counts,
            std::initializer_list<int> usual) {
  Header(out, name, "counter", help);
  for (std::size_t kind = 0; kind < kKindCount; ++kind) {
    for (std::size_t status = 0; status < kStatusCount; ++status) {
      const bool isUsual =
          std::find(usual.begin(), usual.end(), static_cast<int>(status)) != usual.end();
      if (!isUsual && counts[kind][status] == 0) continue;
      Sample(out, name)
          .Label("kind", KindLabel(kind))
          .Label("status", StatusLabel(static_cast<int>(status)))
          .Value(counts[kind][status]);
    }
  }
}

void Histo(std::string& out, const std::string& name, const char* help, const Histogram& h) {
  Header(out, name.c_str(), "histogram", help);
  const std::string bucket = name + "_bucket";
  std::uint64_t cumulative = 0;
  char le[32];
  for (std::size_t i = 0; i < Histogram::kBounds.size(); ++i) {
    cumulative += h.BucketCount(i);
    const auto r = std::to_chars(le, le + sizeof le, Histogram::kBounds[i]);
    Sample(out, bucket.c_str()).Label("le", std::string_view(le, r.ptr - le)).Value(cumulative);
  }
  Sample(out, bucket.c_str()).Label("le", "+Inf").Value(h.Count());
  Sample(out, (name + "_sum").c_str()).Value(h.Sum());
  Sample(out, (name + "_count").c_str()).Value(h.Count());
}

}  // namespace

std::string PrometheusText::LabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    char32_t cp;
    if (!DecodeUtf8(text, i, cp)) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      continue;
    }
    if (cp == '\\') {
      out += "\\\\";
    } else if (cp == '"') {
      out += "\\\"";
    } else if (cp == '\n') {
      out += "\\n";
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}

std::string PrometheusText::Render(const MetricsSnapshot& s) {
  std::string out;
  out.reserve(8192 + s.shares.size() * 160 + s.clients.size() * 160);
  Gauge(out, "quillmoor98_users", "Users connected now.", s.users);
  Gauge(out, "quillmoor98_former_users", "Users kept in the history of former connections.",
        s.formerUsers);
  Gauge(out, "quillmoor98_listed_users",
        "Users connected now whose client is on the Disconnect List.", s.listedUsers);
  Gauge(out, "quillmoor98_open_files", "Open files as the server reported them at the last tick.",
        s.openFiles);
  Gauge(out, "quillmoor98_shares_in_use", "Shares with at least one user connected.",
        static_cast<int>(s.shares.size()));
  Gauge(out, "quillmoor98_disconnect_status",
        "Whom to disconnect: 0 nobody, 1 the Disconnect List, 2 everybody.", s.disconnectStatus);
  Gauge(out, "quillmoor98_server_readable",
        "1 when the server's state could be read at the last reading, else 0.",
        s.serverReadable ? 1 : 0);

  Gauge(out, "quillmoor98_oldest_session_age_seconds",
        "Seconds since the longest-connected current user connected (0: no user).",
        s.oldestSessionSeconds);
  Header(out, "quillmoor98_build_info", "gauge", "The program's version; always 1.");
  Sample(out, "quillmoor98_build_info").Label("version", s.version).Value(1);

  Header(out, "quillmoor98_share_users", "gauge", "Users connected to a share now.");
  for (const auto& [name, use] : s.shares) {
    Sample(out, "quillmoor98_share_users").Label("share", name).Value(use.connections);
  }
  Header(out, "quillmoor98_share_open_files", "gauge",
         "Open files seen on a share at the last tick.");
  for (const auto& [name, use] : s.shares) {
    Sample(out, "quillmoor98_share_open_files").Label("share", name).Value(use.openFiles);
  }
  Header(out, "quillmoor98_user_sessions", "gauge",
         "Users connected now, by the cluster node that serves them and the dialect, signing and "
         "encryption of their weakest session (empty where the server does not say).");
  for (const auto& [p, count] : s.protocols) {
    Sample(out, "quillmoor98_user_sessions")
        .Label("node", p.node)
        .Label("dialect", p.dialect)
        .Label("signing", p.signing)
        .Label("encryption", p.encryption)
        .Value(count);
  }
  Header(out, "quillmoor98_share_unencrypted_users", "gauge",
         "Users connected now without encryption to a share that requires it.");
  for (const auto& [name, count] : s.unencryptedShareUsers) {
    Sample(out, "quillmoor98_share_unencrypted_users").Label("share", name).Value(count);
  }
  if (!s.clients.empty()) {
    Header(out, "quillmoor98_client_info", "gauge",
           "A client connected now, with its account, address and host name.");
    for (const ClientInfo& c : s.clients) {
      Sample(out, "quillmoor98_client_info")
          .Label("client", c.client)
          .Label("account", c.account)
          .Label("address", c.address)
          .Label("host", c.host)
          .Value(1);
    }
  }

  Visits(out, "quillmoor98_visits_begun_total",
         "Users, shares and files that appeared, by enter status.", s.visitsBegun,
         {stLoggedOn, stProgramStarted});
  Visits(out, "quillmoor98_visits_ended_total",
         "Users, shares and files that ended, by exit status.", s.visitsEnded,
         {stKicked, stLoggedOff, stProgramExited});
  Header(out, "quillmoor98_disconnections_total", "counter",
         "Users whose sessions were ended, by the rule or command that ended them.");
  for (std::size_t i = 0; i < kDisconnectRuleCount; ++i) {
    Sample(out, "quillmoor98_disconnections_total")
        .Label("rule", RuleLabel(static_cast<DisconnectRule>(i)))
        .Value(s.disconnections[i]);
  }
  Header(out, "quillmoor98_lookups_total", "counter", "Address lookups finished, by result.");
  Sample(out, "quillmoor98_lookups_total").Label("result", "found").Value(s.lookupsFound);
  Sample(out, "quillmoor98_lookups_total").Label("result", "not_known").Value(s.lookupsNotKnown);
  Header(out, "quillmoor98_server_readings_failed_total", "counter",
         "Readings of the server's state that failed.");
  Sample(out, "quillmoor98_server_readings_failed_total").Value(s.readingsFailed);

  Histo(out, "quillmoor98_tick_duration_seconds", "Duration of a refresh tick.", s.tickSeconds);
  Histo(out, "quillmoor98_server_reading_duration_seconds",
        "Duration of a reading of the server's state.", s.readingSeconds);
  return out;
}

}  // namespace qm
