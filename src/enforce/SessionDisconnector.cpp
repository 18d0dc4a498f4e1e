// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "enforce/SessionDisconnector.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/Text.h"

namespace qm {

namespace {
// The session vanished between the enumeration and the deletion: the
// client left on its own.
constexpr NetStatus kClientNameNotFound = 2312;

std::string RefusalReason(NetStatus status) {
  const std::string code = "status " + std::to_string(status);
  if (status == ERROR_ACCESS_DENIED) return "access denied (" + code + ")";
  if (status == NERR_ServerNotStarted) return "the server is not running (" + code + ")";
  return "the server refused (" + code + ")";
}
}  // namespace

NetStatus SessionDisconnector::KickUserNT95(const std::string& client, std::uint32_t key,
                                            const std::string& address) {
  ServerApi& api = m_.Api();
  if (api.IsNT()) {
    const PlatformText name = api.ToPlatformString("\\\\" + client);
    const PlatformText from = api.ToPlatformString(address);
    return api.DeleteSession(name.get(), nullptr, key, from.get());
  }
  const PlatformText name = api.ToPlatformString(client);
  const PlatformText user = api.ToPlatformString(std::string());
  return api.DeleteSession(name.get(), user.get(), key);
}

void SessionDisconnector::SayRefused(const std::string& client, const std::string& userKey,
                                     NetStatus status, bool command) {
  const std::string text = "Cannot disconnect " + client + ": " + RefusalReason(status);
  if (command) {
    m_.Messages().Error(text);
  } else if (refusalSaid_.insert(userKey).second) {
    m_.View().ServerNotice(text);
  }
}

void SessionDisconnector::SessionPass(const Chooser& choose, bool command) {
  // A client that left may be refused and told again when it comes back.
  std::erase_if(refusalSaid_, [this](const std::string& c) { return !m_.Users.Find(c); });
  ServerApi& api = m_.Api();
  const int n = api.SessionsInit();
  // A client with several sessions is one disconnection, and one refusal.
  std::vector<const TUser*> told;
  std::vector<std::string> refused;
  for (int i = 0; i < n; ++i) {
    const std::string client = api.FromPlatformString(api.SessionClient(i));
    const std::string address = api.FromPlatformString(api.SessionAddress(i));
    TTreeNodeCustom* record = nullptr;
    TreeNode* node = nullptr;
    DisconnectRule rule = DisconnectRule::Command;
    if (!choose(client, address, record, node, rule)) continue;
    const auto* user = dynamic_cast<const TUser*>(record);
    // Another client of the same name from elsewhere is left alone.
    const NetStatus status = KickUserNT95(client, static_cast<std::uint32_t>(api.SessionKey(i)),
                                          user ? user->ClientAddress : std::string());
    const std::string userKey = UserKey(client, user ? user->ClientAddress : std::string());
    if (status != NERR_Success) {
      if (status != kClientNameNotFound &&
          std::find(refused.begin(), refused.end(), userKey) == refused.end()) {
        refused.push_back(userKey);
        SayRefused(client, userKey, status, command);
      }
      continue;
    }
    refusalSaid_.erase(userKey);
    if (user && std::find(told.begin(), told.end(), user) == told.end()) {
      told.push_back(user);
      m_.Metrics().Disconnecting(*user, rule);
    }
    if (record) record->ExitStatus = stKicked;
    MarkSubtreeKicked(node);
  }
  if (api.SessionsExit() == -1) m_.Fatal("Debug: SessionsExit");
}

void SessionDisconnector::KickButtonClick() {
  TreeNode* node = nullptr;
  if (m_.View().CurrentPageActive()) {
    node = m_.TreeViewCurrent.Selected();
  } else if (TreeNode* former = m_.TreeViewFormer.Selected();
             former && former->Data() && former->Data()->IsOpen()) {
    node = former;
  }
  if (!node || !IsUser(node->Data())) {
    m_.Messages().Information("No current user selected");
    return;
  }
  KickNode(node);
}

bool SessionDisconnector::KickClient(const std::string& client) {
  TreeNode* node = m_.TreeViewCurrent.LastTopLevel(client);
  if (!node || !IsUser(node->Data())) return false;
  KickNode(node);
  return true;
}

void SessionDisconnector::KickNode(TreeNode* node) {
  const auto& user = static_cast<const TUser&>(*node->Data());
  SessionPass(
      [&](const std::string& client, const std::string& address, TTreeNodeCustom*& record,
          TreeNode*& mark, DisconnectRule& rule) {
        if (!SessionOfUser(user, client, address)) return false;
        record = node->Data();
        mark = node;
        rule = DisconnectRule::Command;
        return true;
      },
      true);
}

void SessionDisconnector::KickLastUser() {
  const ConnectionTree& tree = m_.TreeViewCurrent;
  TreeNode* last = nullptr;
  for (int i = tree.TopLevelCount() - 1; i >= 0 && !last; --i) {
    if (tree.TopLevel(i)->Data()) last = tree.TopLevel(i);
  }
  if (!last) return;
  const auto* user = dynamic_cast<const TUser*>(last->Data());
  if (!user) return;
  SessionPass([&](const std::string& client, const std::string& address, TTreeNodeCustom*& record,
                  TreeNode*& mark, DisconnectRule& rule) {
    if (!SessionOfUser(*user, client, address)) return false;
    record = last->Data();
    mark = last;
    rule = DisconnectRule::MaximumUsers;
    return true;
  });
}

void SessionDisconnector::KickAllUsers(DisconnectRule why) {
  SessionPass([&](const std::string& client, const std::string& address, TTreeNodeCustom*& record,
                  TreeNode*& mark, DisconnectRule& rule) {
    UserEntry* entry = UserOfSession(client, address);
    if (!entry) return false;
    record = entry->User();
    mark = Monitor::UserNode(m_.TreeViewCurrent, *entry);
    rule = why;
    return true;
  });
}

void SessionDisconnector::KickListIdle() {
  SessionPass([&](const std::string& client, const std::string& address, TTreeNodeCustom*& record,
                  TreeNode*& mark, DisconnectRule& rule) {
    UserEntry* entry = UserOfSession(client, address);
    if (!entry || !entry->User()) return false;
    const std::optional<DisconnectRule> chosen = RuleFor(*entry->User());
    if (!chosen) return false;
    record = entry->User();
    mark = Monitor::UserNode(m_.TreeViewCurrent, *entry);
    rule = *chosen;
    return true;
  });
}

UserEntry* SessionDisconnector::UserOfSession(const std::string& client,
                                              const std::string& address) {
  if (UserEntry* entry = m_.Users.Find(UserKey(client, address))) return entry;
  return address.empty() ? nullptr : m_.Users.Find(client);
}

bool SessionDisconnector::SessionOfUser(const TUser& user, const std::string& client,
                                        const std::string& address) {
  return client == user.Name && (user.ClientAddress.empty() || address == user.ClientAddress);
}

std::optional<DisconnectRule> SessionDisconnector::RuleFor(const TUser& user) const {
  const Settings& s = m_.Options();
  if (status_.WhoToKick() == KickList && list_.ListsUser(user.Name, user.IPAddress)) {
    return DisconnectRule::DisconnectList;
  }
  if (s.Idle > 0 && IdleLongerThan(m_.IdleSeconds(user), s.Idle)) {
    return DisconnectRule::Idle;
  }
  if (s.IPFilter && user.IPAddress != kNotKnownYet &&
      !AddressPassesFilter(user.IPAddress, s.IPFilterString)) {
    return DisconnectRule::AddressFilter;
  }
  return std::nullopt;
}

bool SessionDisconnector::AddressPassesFilter(std::string_view address, std::string_view filter) {
  if (filter.empty()) return true;
  if (address.size() < filter.size() ||
      !SameTextAsciiNoCase(address.substr(0, filter.size()), filter)) {
    return false;
  }
  const char lastOfFilter = filter.back();
  if (lastOfFilter == '.' || lastOfFilter == ':') return true;
  if (address.size() == filter.size()) return true;
  const char next = address[filter.size()];
  return next == '.' || next == ':';
}

bool SessionDisconnector::IdleLongerThan(TDateTime now, TDateTime lastActivity, int idleMinutes) {
  return IdleLongerThan((now - lastActivity) * kSecondsPerDay, idleMinutes);
}

bool SessionDisconnector::IdleLongerThan(double idleSeconds, int idleMinutes) {
  const double idleMilliseconds = std::round(idleSeconds * 1000.0);
  return idleMilliseconds > static_cast<double>(idleMinutes) * 60000.0;
}

}  // namespace qm
