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

// The address a session is from, else the user's own where the server
// does not tell.
std::string SessionAddress(const std::string& address, const TUser* user) {
  if (!address.empty() || !user) return address;
  return SessionDisconnector::AddressOf(*user);
}

// Makes the server's deletions return their outcome while a command waits
// for it, and lets them be queued again after.
class DeletionsWait {
 public:
  DeletionsWait(ServerBackend& backend, bool on) : backend_(on ? &backend : nullptr) {
    if (backend_) backend_->SetDeletionsWait(true);
  }
  ~DeletionsWait() {
    if (backend_) backend_->SetDeletionsWait(false);
  }
  DeletionsWait(const DeletionsWait&) = delete;
  DeletionsWait& operator=(const DeletionsWait&) = delete;

 private:
  ServerBackend* backend_;
};
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

std::string SessionDisconnector::RefusalReason(NetStatus status) {
  const std::string code = "status " + std::to_string(status);
  if (status == ERROR_ACCESS_DENIED) return "access denied (" + code + ")";
  if (status == NERR_ServerNotStarted) return "the server is not running (" + code + ")";
  const std::string why = m_.Api().Backend().DeletionFailure();
  if (!why.empty()) return why + " (" + code + ")";
  return "the server refused (" + code + ")";
}

void SessionDisconnector::SayRefused(const std::string& client, const std::string& userKey,
                                     const std::string& reason, bool command) {
  const std::string text = "Cannot disconnect " + client + ": " + reason;
  if (command) {
    m_.Messages().Error(text);
  } else if (refusalSaid_.insert(userKey).second) {
    m_.View().ServerNotice(text);
  }
}

DisconnectOutcome SessionDisconnector::SessionPass(const Chooser& choose, bool command) {
  // A client that left may be refused and told again when it comes back.
  std::erase_if(refusalSaid_, [this](const std::string& c) { return !m_.Users.Find(c); });
  ServerApi& api = m_.Api();
  const DeletionsWait wait(api.Backend(), command);
  DisconnectOutcome outcome;
  const int n = api.SessionsInit();
  if (n < 0) {
    outcome.result = DisconnectOutcome::Result::Refused;
    outcome.listingFailed = true;
    outcome.status = n == -1 ? NERR_Success : static_cast<NetStatus>(-n);
    outcome.reason = "its sessions could not be listed" +
                     (n == -1 ? std::string() : " (status " + std::to_string(-n) + ")");
  }
  // A client with several sessions is one disconnection, and one refusal.
  std::vector<const TUser*> told;
  std::vector<std::string> refused;
  struct Ended {
    std::string userKey;
    const TUser* user;
    TTreeNodeCustom* record;
    TreeNode* node;
    DisconnectRule rule;
  };
  std::vector<Ended> ended;
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
        const std::string reason = RefusalReason(status);
        if (outcome.result != DisconnectOutcome::Result::Refused) {
          outcome.result = DisconnectOutcome::Result::Refused;
          outcome.status = status;
          outcome.reason = reason;
        }
        SayRefused(client, userKey, reason, command);
      }
      continue;
    }
    outcome.ended.push_back(
        {client, api.FromPlatformString(api.SessionUser(i)), SessionAddress(address, user)});
    ended.push_back({userKey, user, record, node, rule});
  }
  if (api.SessionsExit() == -1) m_.Fatal("Debug: SessionsExit");
  // A user with a session the server refused to end is still connected:
  // it is not marked, though its other sessions ended.
  for (const Ended& e : ended) {
    if (std::find(refused.begin(), refused.end(), e.userKey) != refused.end()) continue;
    refusalSaid_.erase(e.userKey);
    if (e.user && std::find(told.begin(), told.end(), e.user) == told.end()) {
      told.push_back(e.user);
      m_.Metrics().Disconnecting(*e.user, e.rule);
    }
    if (e.record) e.record->ExitStatus = stKicked;
    MarkSubtreeKicked(e.node);
  }
  if (outcome.result != DisconnectOutcome::Result::Refused && !outcome.ended.empty()) {
    outcome.result = DisconnectOutcome::Result::Ended;
  }
  return outcome;
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
  if (KickNode(node).result == DisconnectOutcome::Result::Nothing) {
    m_.Messages().Information(node->Text() + " has no session left to end");
  }
}

std::vector<TreeNode*> SessionDisconnector::CurrentUsers(const std::string& client,
                                                         const std::string& address) const {
  std::vector<TreeNode*> users;
  const ConnectionTree& tree = m_.TreeViewCurrent;
  for (int i = 0; i < tree.TopLevelCount(); ++i) {
    TreeNode* node = tree.TopLevel(i);
    const auto* user = dynamic_cast<const TUser*>(node->Data());
    if (!user || !user->IsOpen()) continue;
    // The server's record of the address, or the one the lookup found
    // (which the users' answers show).
    const std::string& wanted = address.empty() ? client : address;
    auto is = [&](const std::string& at) {
      return !at.empty() && at != kNotKnownYet && at != kNotKnown &&
             SameTextAsciiNoCase(at, wanted);
    };
    const bool byName = !client.empty() && node->Text() == client;
    const bool byAddress = is(user->ClientAddress) || is(user->IPAddress);
    if (address.empty() ? byName || byAddress : byAddress && (client.empty() || byName)) {
      users.push_back(node);
    }
  }
  return users;
}

DisconnectOutcome SessionDisconnector::KickUser(TreeNode* node) {
  if (!node || !IsUser(node->Data())) return {};
  return KickNode(node);
}

std::string SessionDisconnector::AddressOf(const TUser& user) {
  if (!user.ClientAddress.empty()) return user.ClientAddress;
  if (user.IPAddress == kNotKnownYet || user.IPAddress == kNotKnown) return {};
  return user.IPAddress;
}

DisconnectOutcome SessionDisconnector::KickNode(TreeNode* node) {
  const auto& user = static_cast<const TUser&>(*node->Data());
  DisconnectOutcome outcome = SessionPass(
      [&](const std::string& client, const std::string& address, TTreeNodeCustom*& record,
          TreeNode*& mark, DisconnectRule& rule) {
        if (!SessionOfUser(user, client, address)) return false;
        record = node->Data();
        mark = node;
        rule = DisconnectRule::Command;
        return true;
      },
      true);
  // Refusals of a deletion the pass has said; a failed listing it cannot
  // name a user for.
  if (outcome.listingFailed) {
    m_.Messages().Error("Cannot disconnect " + node->Text() + ": " + outcome.reason);
  }
  return outcome;
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
  // A link-local address is one host only on its own link: fe80::1%eth0
  // and fe80::1%eth1 may be two computers.
  const std::size_t addressZone = address.find('%');
  const std::size_t filterZone = filter.find('%');
  if (addressZone != std::string_view::npos || filterZone != std::string_view::npos) {
    if (addressZone == std::string_view::npos || filterZone == std::string_view::npos ||
        address.substr(addressZone) != filter.substr(filterZone)) {
      return false;
    }
    address = address.substr(0, addressZone);
    filter = filter.substr(0, filterZone);
    if (filter.empty()) return true;
  }
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
