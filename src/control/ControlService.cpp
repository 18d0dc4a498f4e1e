// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "control/ControlService.h"

#include <nlohmann/json.hpp>

#include "control/ControlJson.h"
#include "core/Text.h"
#include "enforce/DisconnectListCommands.h"
#include "store/ConnectionLog.h"
#include "store/OptionKeys.h"

namespace qm {

namespace {
constexpr std::size_t kMaxListText = 255;

// Takes the refusal a command shows in its information box.
class RefusalCatcher final : public MessageBoxes {
 public:
  void Information(const std::string& text) override { refusal = text; }
  void Error(const std::string& text) override { refusal = text; }
  bool Confirm(const std::string& /*text*/) override { return false; }
  std::string Prompt(const std::string&, const std::string&) override { return {}; }
  std::string refusal;
};

// A text that goes into a line of KickList.dat: one line, of a sane size.
bool ListText(const nlohmann::json& value, std::string& text, std::string& reason,
              const char* what) {
  if (!value.is_string()) {
    reason = std::string(what) + " must be a text";
    return false;
  }
  // Blanks at the ends would keep an entry from ever matching.
  text = std::string(TrimmedBlanks(value.get<std::string>()));
  if (text.size() > kMaxListText) {
    reason = std::string(what) + " must have at most 255 bytes";
    return false;
  }
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      reason = std::string(what) + " must not hold a control character";
      return false;
    }
  }
  return true;
}

// An integer or boolean setting from JSON, or from the text the command
// line sends.
bool IntegerValue(const nlohmann::json& value, long long& out) {
  if (value.is_number_integer()) {
    out = value.get<long long>();
    return true;
  }
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  if (text.empty() || text.size() > 12) return false;
  std::size_t used = 0;
  try {
    out = std::stoll(text, &used, 10);
  } catch (const std::exception&) {
    return false;
  }
  return used == text.size();
}

bool BooleanValue(const nlohmann::json& value, bool& out) {
  if (value.is_boolean()) {
    out = value.get<bool>();
    return true;
  }
  const std::string text = value.is_string() ? value.get<std::string>() : std::string();
  if (text == "true" || text == "1" || text == "on" || text == "yes") {
    out = true;
    return true;
  }
  if (text == "false" || text == "0" || text == "off" || text == "no") {
    out = false;
    return true;
  }
  return false;
}

nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

nlohmann::json SettingValue(const OptionKeys::Key& key, const Settings& s) {
  switch (key.type) {
    case OptionKeys::Type::Integer:
      return s.*key.integer;
    case OptionKeys::Type::Boolean:
      return s.*key.boolean;
    case OptionKeys::Type::Text:
      return s.*key.text;
  }
  return nullptr;
}
}  // namespace

struct ControlService::Answer {
  unsigned status = 200;
  nlohmann::json body;
  std::string text;  // a text answer instead of JSON, when set
  static Answer Refused(unsigned status, const std::string& reason) {
    return {status, {{"error", reason}}, {}};
  }
};

ControlService::ControlService(Monitor& monitor, EnforcementRules& rules, Hooks hooks)
    : m_(monitor), rules_(rules), hooks_(std::move(hooks)) {}

void ControlService::TickFinished(const Monitor& monitor, double /*seconds*/) {
  lastTick_ = monitor.Now();
}

void ControlService::Handle(ControlRequest& request) {
  Answer answer = Route(request);
  request.status = answer.status;
  if (!answer.text.empty() && answer.status == 200) {
    request.contentType = "text/plain; charset=utf-8";
    request.answer = std::move(answer.text);
  } else {
    request.contentType = "application/json";
    request.answer =
        answer.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
}

ControlService::Answer ControlService::Route(ControlRequest& request) {
  struct Route {
    const char* path;
    const char* method;
    Answer (ControlService::*read)();
    Answer (ControlService::*change)(const ControlRequest&);
  };
  static const Route kRoutes[] = {
      {"/v1/status", "GET", &ControlService::Status, nullptr},
      {"/v1/users", "GET", &ControlService::Users, nullptr},
      {"/v1/history", "GET", nullptr, &ControlService::History},
      {"/v1/disconnect", "POST", nullptr, &ControlService::Disconnect},
      {"/v1/disconnect-list", "GET", &ControlService::DisconnectList, nullptr},
      {"/v1/disconnect-list/add", "POST", nullptr, &ControlService::AddToList},
      {"/v1/disconnect-list/remove", "POST", nullptr, &ControlService::RemoveFromList},
      {"/v1/disconnect-status", "GET", &ControlService::DisconnectStatus, nullptr},
      {"/v1/disconnect-status", "PUT", nullptr, &ControlService::SetDisconnectStatus},
      {"/v1/settings", "GET", &ControlService::Settings, nullptr},
      {"/v1/settings", "PUT", nullptr, &ControlService::SetSettings},
  };
  bool known = false;
  for (const Route& r : kRoutes) {
    if (request.path != r.path) continue;
    known = true;
    if (request.method != r.method) continue;
    return r.read ? (this->*r.read)() : (this->*r.change)(request);
  }
  return known ? Answer::Refused(405, "method not allowed here")
               : Answer::Refused(404, "no such resource: " + request.path);
}

ControlService::Answer ControlService::Status() {
  nlohmann::json s;
  s["users"] = m_.CurrentUserCount;
  s["former_users"] = m_.TreeViewFormer.TopLevelCount();
  s["open_files"] = m_.OpenFileCount;
  s["disconnect_status"] = ControlJson::DisconnectStatusName(rules_.WhoToKick());
  s["program_watch_active"] = rules_.Watcher().QuakeActive();
  s["server_readable"] = m_.ServerStateRead;
  s["last_tick"] = ControlJson::Time(lastTick_);
  s["refresh"] = m_.Options().Refresh;
  return {200, std::move(s), {}};
}

ControlService::Answer ControlService::Users() {
  // The server's sessions now: one client computer may hold several, each
  // with its account, where the user's record keeps its first.
  struct Session {
    std::string client, account, address;
  };
  std::vector<Session> sessions;
  ServerApi& api = m_.Api();
  const int n = api.SessionsInit();
  for (int i = 0; i < n; ++i) {
    sessions.push_back({api.FromPlatformString(api.SessionClient(i)),
                        api.FromPlatformString(api.SessionUser(i)),
                        api.FromPlatformString(api.SessionAddress(i))});
  }
  if (api.SessionsExit() == -1) m_.Fatal("Debug: SessionsExit");
  nlohmann::json users = nlohmann::json::array();
  const ConnectionTree& tree = m_.TreeViewCurrent;
  for (int i = 0; i < tree.TopLevelCount(); ++i) {
    const TreeNode& node = *tree.TopLevel(i);
    nlohmann::json user = ControlJson::User(node, m_);
    const auto* record = dynamic_cast<const TUser*>(node.Data());
    if (record && n >= 0) {
      nlohmann::json own = nlohmann::json::array();
      for (const Session& s : sessions) {
        if (s.client != node.Text() ||
            (!record->ClientAddress.empty() && s.address != record->ClientAddress)) {
          continue;
        }
        own.push_back({{"account", TextOrNull(s.account)}, {"address", TextOrNull(s.address)}});
      }
      user["sessions"] = std::move(own);
    }
    users.push_back(std::move(user));
  }
  return {200, {{"users", std::move(users)}}, {}};
}

ControlService::Answer ControlService::History(const ControlRequest& request) {
  const auto format = request.query.find("format");
  if (format != request.query.end() && format->second == "text") {
    return {200, {}, ConnectionLogText(m_.TreeViewFormer, m_.Now())};
  }
  if (format != request.query.end() && format->second != "json") {
    return Answer::Refused(400, "format must be json or text");
  }
  const ConnectionTree& tree = m_.TreeViewFormer;
  const auto total = static_cast<std::size_t>(tree.TopLevelCount());
  // A page of the visits, oldest first; without limit every visit from
  // offset on, as before pages.
  std::size_t offset = 0, limit = total;
  for (auto [name, value] : {std::pair{"offset", &offset}, std::pair{"limit", &limit}}) {
    const auto it = request.query.find(name);
    if (it == request.query.end()) continue;
    const std::string& text = it->second;
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
      return Answer::Refused(400, std::string(name) + " must be a whole number below 10^9");
    }
    *value = std::stoul(text);
  }
  nlohmann::json visits = nlohmann::json::array();
  for (std::size_t i = offset; i < total && i - offset < limit; ++i) {
    visits.push_back(ControlJson::User(*tree.TopLevel(static_cast<int>(i)), m_));
  }
  return {200, {{"visits", std::move(visits)}, {"offset", offset}, {"total", total}}, {}};
}

namespace {
// The body as a JSON object, or the reason it is not one.
bool BodyObject(const ControlRequest& request, nlohmann::json& body, std::string& reason) {
  body = nlohmann::json::parse(request.body, nullptr, false);
  if (body.is_object()) return true;
  reason = "the body must be a JSON object";
  return false;
}
}  // namespace

namespace {
// "PC1@10.0.0.1", "PC1", or "@10.0.0.1": how a client is named in answers.
std::string ClientText(const std::string& client, const std::string& address) {
  return EscapedText(client) + (address.empty() ? "" : "@" + EscapedText(address));
}

// An optional text member of the body.
bool OptionalText(const nlohmann::json& body, const char* name, std::string& text,
                  std::string& reason) {
  if (!body.contains(name) || body[name].is_null()) return true;
  if (!body[name].is_string()) {
    reason = std::string(name) + " must be a text";
    return false;
  }
  text = body[name].get<std::string>();
  return true;
}
}  // namespace

ControlService::Answer ControlService::Disconnect(const ControlRequest& request) {
  nlohmann::json body;
  std::string reason, client, address;
  if (!BodyObject(request, body, reason)) return Answer::Refused(400, reason);
  if (!OptionalText(body, "client", client, reason) ||
      !OptionalText(body, "address", address, reason)) {
    return Answer::Refused(400, reason);
  }
  if (client.empty() && address.empty()) {
    return Answer::Refused(400, "client or address must be given");
  }
  SessionDisconnector& disconnector = rules_.Disconnector();
  const std::vector<TreeNode*> users = disconnector.CurrentUsers(client, address);
  if (users.empty()) {
    Answer none = Answer::Refused(
        404, address.empty()  ? "No current user is named " + EscapedText(client)
             : client.empty() ? "No current user is at " + EscapedText(address)
                              : "No current user is " + ClientText(client, address));
    none.body["outcome"] = "nothing";
    return none;
  }
  auto addressOf = [](const TreeNode& node) {
    return SessionDisconnector::AddressOf(static_cast<const TUser&>(*node.Data()));
  };
  if (users.size() > 1) {
    // Ending one of them, picked by the tree's order, would be a guess.
    nlohmann::json candidates = nlohmann::json::array();
    std::string names;
    for (const TreeNode* node : users) {
      const std::string at = addressOf(*node);
      candidates.push_back({{"client", node->Text()}, {"address", TextOrNull(at)}});
      names += (names.empty() ? "" : ", ") + ClientText(node->Text(), at);
    }
    Answer ambiguous = Answer::Refused(
        409, ClientText(client, address) + " names " + std::to_string(users.size()) +
                 " current users: " + names + "; name one as NAME@ADDRESS");
    ambiguous.body["candidates"] = std::move(candidates);
    return ambiguous;
  }
  TreeNode* node = users.front();
  const std::string name = node->Text();
  const std::string at = addressOf(*node);
  const DisconnectOutcome outcome = disconnector.KickUser(node);

  nlohmann::json sessions = nlohmann::json::array();
  for (const DisconnectOutcome::Session& s : outcome.ended) {
    sessions.push_back({{"client", s.client},
                        {"account", TextOrNull(s.account)},
                        {"address", TextOrNull(s.address)}});
  }
  ControlEvent e = Event(request, "disconnect", name);
  e.outcome = outcome.Name();
  e.address = at;
  e.reason = outcome.reason;
  if (hooks_.record) hooks_.record(e);

  Answer answer;
  switch (outcome.result) {
    case DisconnectOutcome::Result::Ended:
      answer = {200, {{"exit_status", "kicked"}}, {}};
      break;
    case DisconnectOutcome::Result::Refused:
      // The file server, behind the monitor, would not.
      answer =
          Answer::Refused(502, "Cannot disconnect " + ClientText(name, at) + ": " + outcome.reason);
      if (outcome.status) answer.body["status"] = outcome.status;
      break;
    case DisconnectOutcome::Result::Nothing:
      answer = Answer::Refused(404, ClientText(name, at) + " has no session left to end");
      break;
  }
  answer.body["client"] = name;
  answer.body["address"] = TextOrNull(at);
  answer.body["outcome"] = outcome.Name();
  answer.body["sessions"] = std::move(sessions);
  return answer;
}

ControlService::Answer ControlService::DisconnectList() {
  nlohmann::json entries = nlohmann::json::array();
  for (const DisconnectListEntry& e : rules_.List().Entries()) {
    entries.push_back({{"name", e.EntryName}, {"address", e.EntryAddress}});
  }
  return {200, {{"entries", std::move(entries)}}, {}};
}

ControlService::Answer ControlService::AddToList(const ControlRequest& request) {
  nlohmann::json body;
  std::string reason, name, address = kIDontKnow;
  if (!BodyObject(request, body, reason)) return Answer::Refused(400, reason);
  if (!ListText(body.value("name", nlohmann::json()), name, reason, "name")) {
    return Answer::Refused(400, reason);
  }
  if (body.contains("address") && !body["address"].is_null() &&
      !ListText(body["address"], address, reason, "address")) {
    return Answer::Refused(400, reason);
  }
  if (name.empty()) return Answer::Refused(400, "name must not be empty");
  RefusalCatcher refusal;
  if (!DisconnectListCommands::DialogAddUser(rules_.List(), refusal, name, address)) {
    return Answer::Refused(409, refusal.refusal);
  }
  const DisconnectListEntry added = rules_.List().Entry(rules_.List().Count() - 1);
  Record(request, "list_add", added.EntryName + " " + added.EntryAddress);
  return {200, {{"name", added.EntryName}, {"address", added.EntryAddress}}, {}};
}

ControlService::Answer ControlService::RemoveFromList(const ControlRequest& request) {
  nlohmann::json body;
  std::string reason, name;
  if (!BodyObject(request, body, reason)) return Answer::Refused(400, reason);
  if (!ListText(body.value("name", nlohmann::json()), name, reason, "name")) {
    return Answer::Refused(400, reason);
  }
  const int index = rules_.List().FindByName(name);
  if (index < 0) {
    return Answer::Refused(404, EscapedText(name) + " is not in the Disconnect List");
  }
  const std::string removed = rules_.List().Entry(static_cast<std::size_t>(index)).EntryName;
  rules_.List().Remove(static_cast<std::size_t>(index));
  Record(request, "list_remove", removed);
  return {200, {{"name", removed}}, {}};
}

ControlService::Answer ControlService::DisconnectStatus() {
  return {200,
          {{"disconnect_status", ControlJson::DisconnectStatusName(rules_.WhoToKick())},
           {"program_watch_active", rules_.Watcher().QuakeActive()}},
          {}};
}

ControlService::Answer ControlService::SetDisconnectStatus(const ControlRequest& request) {
  nlohmann::json body;
  std::string reason;
  if (!BodyObject(request, body, reason)) return Answer::Refused(400, reason);
  const nlohmann::json value = body.value("disconnect_status", nlohmann::json());
  const int code =
      value.is_string() ? ControlJson::DisconnectStatusCode(value.get<std::string>()) : -1;
  if (code < 0) {
    return Answer::Refused(400, "disconnect_status must be nobody, list or everybody");
  }
  rules_.Status().SetWhoToKick(KickStatusFromCode(code));
  Record(request, "disconnect_status", ControlJson::DisconnectStatusName(code));
  return DisconnectStatus();
}

ControlService::Answer ControlService::Settings() {
  nlohmann::json settings = nlohmann::json::object();
  for (const OptionKeys::Key& key : OptionKeys::All()) {
    settings[key.name] = SettingValue(key, m_.Options());
  }
  return {200, std::move(settings), {}};
}

ControlService::Answer ControlService::SetSettings(const ControlRequest& request) {
  nlohmann::json body;
  std::string reason;
  if (!BodyObject(request, body, reason)) return Answer::Refused(400, reason);
  // Every value is checked before any is taken: all or nothing.
  qm::Settings changed = m_.Options();
  std::vector<const OptionKeys::Key*> keys;
  for (const auto& [name, value] : body.items()) {
    const OptionKeys::Key* key = OptionKeys::Find(name);
    if (!key) return Answer::Refused(400, "no setting is named " + EscapedText(name));
    keys.push_back(key);
    switch (key->type) {
      case OptionKeys::Type::Integer: {
        long long number = 0;
        if (!IntegerValue(value, number)) {
          return Answer::Refused(400, std::string(key->name) + " must be a whole number");
        }
        if (!OptionKeys::CheckInteger(*key, number, reason)) return Answer::Refused(400, reason);
        changed.*key->integer = static_cast<int>(number);
        break;
      }
      case OptionKeys::Type::Boolean:
        if (!BooleanValue(value, changed.*key->boolean)) {
          return Answer::Refused(400, std::string(key->name) + " must be true or false");
        }
        break;
      case OptionKeys::Type::Text:
        if (!value.is_string() || !OptionKeys::CheckText(*key, value.get<std::string>(), reason)) {
          return Answer::Refused(
              400, reason.empty() ? std::string(key->name) + " must be a text" : reason);
        }
        changed.*key->text = value.get<std::string>();
        break;
    }
  }
  qm::Settings& live = m_.Options();
  if (changed.Launch != live.Launch && hooks_.setStartupRegistration &&
      !hooks_.setStartupRegistration(changed.Launch)) {
    return Answer::Refused(409, "the start-up registration could not be changed");
  }
  const bool refresh = changed.Refresh != live.Refresh;
  std::vector<std::string> done;
  for (const OptionKeys::Key* key : keys) {
    const nlohmann::json after = SettingValue(*key, changed);
    if (SettingValue(*key, live) == after) continue;
    done.push_back(std::string(key->name) + "=" +
                   (after.is_string() ? after.get<std::string>() : after.dump()));
  }
  live = changed;
  for (const std::string& change : done) Record(request, "settings", change);
  if (refresh && hooks_.refreshChanged) hooks_.refreshChanged(live.Refresh * 1000);
  return Settings();
}

ControlEvent ControlService::Event(const ControlRequest& request, const std::string& action,
                                   const std::string& target) const {
  ControlEvent e;
  e.action = action;
  e.target = target;
  e.uid = request.uid == static_cast<uid_t>(-1) ? -1 : static_cast<long>(request.uid);
  e.time = hooks_.now ? hooks_.now() : 0;
  return e;
}

void ControlService::Record(const ControlRequest& request, const std::string& action,
                            const std::string& target) {
  if (hooks_.record) hooks_.record(Event(request, action, target));
}

}  // namespace qm
