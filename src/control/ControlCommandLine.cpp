// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlCommandLine.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "control/ControlClient.h"
#include "control/ControlCompletion.h"
#include "control/ControlSocket.h"
#include "core/DateTime.h"
#include "core/Text.h"

namespace qm {

namespace {
using nlohmann::json;
constexpr long kRequestTimeoutSeconds = 60;

// A JSON value as one safe cell of a table.
std::string Cell(const json& value, const char* unknown = "-") {
  if (value.is_null()) return unknown;
  if (value.is_string()) return EscapedText(value.get<std::string>());
  return value.dump();
}

// Columns as wide as their widest cell, two blanks apart.
void PrintTable(std::ostream& out, const std::vector<std::string>& head,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width(head.size());
  for (std::size_t i = 0; i < head.size(); ++i) width[i] = head[i].size();
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      text += cells[i];
      if (i + 1 < cells.size()) text += std::string(width[i] - cells[i].size() + 2, ' ');
    }
    out << text << '\n';
  };
  line(head);
  for (const auto& row : rows) line(row);
}

std::string Duration(const json& seconds) {
  if (!seconds.is_number()) return "-";
  return DurationText(seconds.get<double>());
}

void PrintUsers(std::ostream& out, const json& users, bool history) {
  std::vector<std::vector<std::string>> rows;
  for (const json& u : users) {
    std::size_t files = 0;
    std::string shares;
    for (const json& s : u["shares"]) {
      shares += (shares.empty() ? "" : ",") + Cell(s["name"]);
      files += s["files"].size();
    }
    // Several accounts on one client computer: the first, and how many more.
    std::string account = Cell(u["account"]);
    if (u.contains("sessions")) {
      std::vector<std::string> accounts;
      for (const json& session : u["sessions"]) {
        const std::string a = Cell(session["account"]);
        if (std::find(accounts.begin(), accounts.end(), a) == accounts.end()) accounts.push_back(a);
      }
      if (accounts.size() > 1) {
        account = accounts.front() + " (+" + std::to_string(accounts.size() - 1) + ")";
      }
    }
    std::vector<std::string> row = {Cell(u["client"]), account, Cell(u["address"]), Cell(u["host"]),
                                    Cell(u["entered"])};
    if (history) {
      row.push_back(Cell(u["left"], "open"));
    } else {
      row.push_back(Duration(u["idle_seconds"]));
    }
    row.push_back(shares.empty() ? "-" : shares);
    row.push_back(std::to_string(files));
    row.push_back(Cell(u["exit_status"], history ? "-" : Cell(u["enter_status"]).c_str()));
    rows.push_back(std::move(row));
  }
  PrintTable(out,
             {"CLIENT", "ACCOUNT", "ADDRESS", "HOST", "ENTERED", history ? "LEFT" : "IDLE",
              "SHARES", "FILES", "STATUS"},
             rows);
}

// One event of the stream as a line for people.
std::string EventLine(const json& e) {
  std::string line = Cell(e.value("time", json())) + "  ";
  if (e.value("kind", "") == "control") {
    return line + "control  uid " + Cell(e.value("uid", json())) + ": " +
           Cell(e.value("event", json())) + " " + Cell(e.value("target", json()));
  }
  line += Cell(e.value("event", json())) + " " + Cell(e.value("kind", json())) + " " +
          Cell(e.value("client", json()));
  if (e.contains("share") && !e["share"].is_null()) line += " > " + Cell(e["share"]);
  if (e.contains("path") && !e["path"].is_null()) line += " > " + Cell(e["path"]);
  line += "  (" + Cell(e.value("status", json())) + ")";
  if (e.contains("rule")) line += " by " + Cell(e["rule"]);
  return line;
}

// NAME@ADDRESS as a name and an address, when what follows the last "@"
// is an address (a client's name may hold an "@" of its own); else the
// whole text is a name.
void SplitClient(std::string& client, std::string& address) {
  const std::size_t at = client.rfind('@');
  if (at == std::string::npos) return;
  const std::string tail = client.substr(at + 1);
  unsigned char bytes[sizeof(in6_addr)];
  const std::string host = tail.substr(0, tail.find('%'));
  if (::inet_pton(AF_INET, tail.c_str(), bytes) != 1 &&
      ::inet_pton(AF_INET6, host.c_str(), bytes) != 1) {
    return;
  }
  address = tail;
  client.erase(at);
}

struct Call {
  std::string method = "GET";
  std::string path;
  json body;
};

class Session {
 public:
  Session(ControlClient& client, bool asJson, std::ostream& out, std::ostream& err)
      : client_(client), json_(asJson), out_(out), err_(err) {}

  // The answer's JSON, or an exit status when it was refused.
  int Ask(const Call& call, json& answer, bool print = true) {
    const std::string body = call.body.is_null() ? std::string() : call.body.dump();
    const ControlClient::Response r = client_.Request(call.method, call.path, body);
    if (Refused(r)) return ControlCommandLine::kRefused;
    answer = json::parse(r.body, nullptr, false);
    if (answer.is_discarded()) {
      err_ << "quillmoor98 ctl: the monitor's answer is not JSON" << std::endl;
      return ControlCommandLine::kRefused;
    }
    if (json_ && print) out_ << answer.dump() << '\n';
    return ControlCommandLine::kDone;
  }

  // Says why, when the monitor did not answer 200.
  bool Refused(const ControlClient::Response& r) {
    if (r.status == 200) return false;
    err_ << "quillmoor98 ctl: ";
    if (r.status == 0) {
      err_ << "cannot reach the monitor at " << client_.SocketPath() << ": " << r.error;
    } else if (const json answer = json::parse(r.body, nullptr, false);
               answer.is_object() && answer.contains("error")) {
      err_ << Cell(answer["error"]);
    } else {
      err_ << "HTTP status " << r.status;
    }
    err_ << std::endl;
    return true;
  }

  bool Json() const { return json_; }
  std::ostream& Out() { return out_; }
  ControlClient& Client() { return client_; }

 private:
  ControlClient& client_;
  bool json_;
  std::ostream& out_;
  std::ostream& err_;
};

int History(Session& s, bool text) {
  if (!text) {
    json answer;
    if (const int status = s.Ask({"GET", "/v1/history", {}}, answer); status || s.Json()) {
      return status;
    }
    PrintUsers(s.Out(), answer["visits"], true);
    return ControlCommandLine::kDone;
  }
  // The text log goes out byte for byte, as the desktop program saves it.
  const ControlClient::Response r = s.Client().Request("GET", "/v1/history?format=text");
  if (s.Refused(r)) return ControlCommandLine::kRefused;
  s.Out() << r.body;
  return ControlCommandLine::kDone;
}

int Watch(Session& s) {
  std::string pending;
  const ControlClient::Response r = s.Client().Stream("/v1/events", [&](const std::string& data) {
    pending += data;
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line.rfind("data: ", 0) != 0) continue;
      const std::string event = line.substr(6);
      if (s.Json()) {
        s.Out() << event << '\n';
      } else {
        const json e = json::parse(event, nullptr, false);
        if (e.is_object()) s.Out() << EventLine(e) << '\n';
      }
      s.Out().flush();
    }
    return static_cast<bool>(s.Out());
  });
  return s.Refused(r) ? ControlCommandLine::kRefused : ControlCommandLine::kDone;
}
}  // namespace

int ControlCommandLine::Run(int argc, const char* const* argv, std::ostream& out,
                            std::ostream& err) {
  CLI::App cli{
      "Asks the running monitor (quillmoor98 --console or the service) through its "
      "control socket.",
      "quillmoor98 ctl"};
  cli.require_subcommand(1);
  // --socket and --json may come after the command too.
  cli.fallthrough();
  std::string socket;
  bool asJson = false;
  cli.add_option("--socket", socket,
                 "the control socket (default: QUILLMOOR98_CONTROL, else your own console's "
                 "under XDG_RUNTIME_DIR, else the service's /run/quillmoor98/control)")
      ->type_name("PATH");
  cli.add_flag("--json", asJson, "JSON for scripts instead of tables")->configurable(false);
  auto* status = cli.add_subcommand("status", "counts, disconnect status, last tick");
  auto* users = cli.add_subcommand("users", "the users connected now");
  auto* history = cli.add_subcommand("history", "the former connections");
  bool text = false;
  history->add_flag("--text", text, "the text log, as \"Save former connections as...\" writes it");
  auto* disconnect = cli.add_subcommand("disconnect", "disconnect a user (a client computer)");
  std::string client, clientAddress;
  disconnect->add_option("CLIENT", client,
                         "the client computer's name, or NAME@ADDRESS for the one at that address");
  disconnect->add_option("--address", clientAddress,
                         "the client at this address (with CLIENT: that one of that name)");
  auto* list = cli.add_subcommand("list", "the Disconnect List, or change it");
  list->require_subcommand(0, 1);
  auto* listAdd = list->add_subcommand("add", "add a name (and an address)");
  std::string name, address;
  listAdd->add_option("NAME", name, "the user's name (stored in upper case)")->required();
  listAdd->add_option("ADDRESS", address, "its address (default: I don't know)");
  auto* listRemove = list->add_subcommand("remove", "remove a name");
  listRemove->add_option("NAME", name, "the name")->required();
  auto* kick = cli.add_subcommand("kick-status", "the disconnect status, or set it");
  std::string kickValue;
  kick->add_option("STATUS", kickValue, "nobody, list or everybody")
      ->check(CLI::IsMember({"nobody", "list", "everybody"}));
  auto* get = cli.add_subcommand("get", "one setting of [Options]");
  std::string key, value;
  get->add_option("KEY", key, "Refresh, Count, Idle, MaxNumber, Quake, ...")->required();
  auto* set = cli.add_subcommand("set", "change one setting of [Options]");
  set->add_option("KEY", key, "the setting")->required();
  set->add_option("VALUE", value, "its new value")->required();
  auto* watch = cli.add_subcommand("watch", "the events as they come, until interrupted");
  // For the shell's completion, not in the help: what may follow the words given.
  if (argc > 1 && std::string_view(argv[1]) == "--complete") {
    for (const std::string& word : ControlCompletion::Next(cli, {argv + 2, argv + argc})) {
      out << word << '\n';
    }
    return kDone;
  }
  try {
    cli.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return cli.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    cli.exit(e, out, err);
    return kUsage;
  }
  if (disconnect->parsed() && client.empty() && clientAddress.empty()) {
    err << "quillmoor98 ctl: disconnect needs a CLIENT or --address ADDRESS" << std::endl;
    return kUsage;
  }

  ControlClient client_(socket.empty() ? ControlSocket::ClientPath() : socket,
                        kRequestTimeoutSeconds);
  Session s(client_, asJson, out, err);
  json answer;
  int result = kDone;
  if (status->parsed()) {
    if ((result = s.Ask({"GET", "/v1/status", {}}, answer)) || asJson) return result;
    PrintTable(out, {"USERS", "FORMER", "FILES", "DISCONNECT", "SAMBA", "LAST TICK"},
               {{Cell(answer["users"]), Cell(answer["former_users"]), Cell(answer["open_files"]),
                 Cell(answer["disconnect_status"]),
                 answer.value("server_readable", false) ? "readable" : "unreadable",
                 Cell(answer["last_tick"])}});
  } else if (users->parsed()) {
    if ((result = s.Ask({"GET", "/v1/users", {}}, answer)) || asJson) return result;
    PrintUsers(out, answer["users"], false);
  } else if (history->parsed()) {
    return History(s, text);
  } else if (disconnect->parsed()) {
    if (clientAddress.empty()) SplitClient(client, clientAddress);
    json body = json::object();
    if (!client.empty()) body["client"] = client;
    if (!clientAddress.empty()) body["address"] = clientAddress;
    if ((result = s.Ask({"POST", "/v1/disconnect", body}, answer)) || asJson) return result;
    out << "Disconnected " << Cell(answer["client"]);
    if (answer["address"].is_string()) out << " at " << Cell(answer["address"]);
    out << '\n';
  } else if (listAdd->parsed()) {
    json body = {{"name", name}};
    if (!address.empty()) body["address"] = address;
    if ((result = s.Ask({"POST", "/v1/disconnect-list/add", body}, answer)) || asJson) {
      return result;
    }
    out << "Added " << Cell(answer["name"]) << " (" << Cell(answer["address"])
        << ") to the Disconnect List\n";
  } else if (listRemove->parsed()) {
    if ((result = s.Ask({"POST", "/v1/disconnect-list/remove", {{"name", name}}}, answer)) ||
        asJson) {
      return result;
    }
    out << "Removed " << Cell(answer["name"]) << " from the Disconnect List\n";
  } else if (list->parsed()) {
    if ((result = s.Ask({"GET", "/v1/disconnect-list", {}}, answer)) || asJson) return result;
    std::vector<std::vector<std::string>> rows;
    for (const json& e : answer["entries"]) rows.push_back({Cell(e["name"]), Cell(e["address"])});
    PrintTable(out, {"NAME", "ADDRESS"}, rows);
  } else if (kick->parsed()) {
    const Call call =
        kickValue.empty()
            ? Call{"GET", "/v1/disconnect-status", {}}
            : Call{"PUT", "/v1/disconnect-status", {{"disconnect_status", kickValue}}};
    if ((result = s.Ask(call, answer)) || asJson) return result;
    out << Cell(answer["disconnect_status"]) << '\n';
  } else if (get->parsed() || set->parsed()) {
    const Call call = get->parsed() ? Call{"GET", "/v1/settings", {}}
                                    : Call{"PUT", "/v1/settings", {{key, value}}};
    if ((result = s.Ask(call, answer, false))) return result;
    for (const auto& [name, setting] : answer.items()) {
      if (!SameTextAsciiNoCase(name, key)) continue;
      if (asJson) {
        out << json{{name, setting}}.dump() << '\n';
      } else {
        out << (setting.is_string() ? Cell(setting) : setting.dump()) << '\n';
      }
      return kDone;
    }
    err << "quillmoor98 ctl: no setting is named " << EscapedText(key) << std::endl;
    return kRefused;
  } else if (watch->parsed()) {
    return Watch(s);
  }
  return result;
}

}  // namespace qm
