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

NetStatus SessionDisconnector::KickUserNT95(const std::string& client, std::uint32_t key) {
  ServerApi& api = m_.Api();
  if (api.IsNT()) {
    const PlatformText name = api.ToPlatformString("\\\\" + client);
    return api.DeleteSession(name.get(), nullptr, key);
  }
  const PlatformText name = api.ToPlatformString(client);
  const PlatformText user = api.ToPlatformString(std::string());
  return api.DeleteSession(name.get(), user.get(), key);
}

void SessionDisconnector::SayRefused(const std::string& client, NetStatus status, bool command) {
  const std::string text = "Cannot disconnect " + client + ": " + RefusalReason(status);
  if (command) {
    m_.Messages().Error(text);
  } else if (refusalSaid_.insert(client).second) {
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
    TTreeNodeCustom* record = nullptr;
    TreeNode* node = nullptr;
    DisconnectRule rule = DisconnectRule::Command;
    if (!choose(client, record, node, rule)) continue;
    const NetStatus status = KickUserNT95(client, static_cast<std::uint32_t>(api.SessionKey(i)));
    if (status != NERR_Success) {
      if (status != kClientNameNotFound &&
          std::find(refused.begin(), refused.end(), client) == refused.end()) {
        refused.push_back(client);
        SayRefused(client, status, command);
      }
      continue;
    }
    refusalSaid_.erase(client);
    const auto* user = dynamic_cast<const TUser*>(record);
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
  const std::string name = node->Text();
  SessionPass(
      [&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark,
          DisconnectRule& rule) {
        if (client != name) return false;
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
  const std::string name = last->Text();
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark,
                  DisconnectRule& rule) {
    if (client != name) return false;
    record = last->Data();
    mark = last;
    rule = DisconnectRule::MaximumUsers;
    return true;
  });
}

void SessionDisconnector::KickAllUsers(DisconnectRule why) {
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark,
                  DisconnectRule& rule) {
    UserEntry* entry = m_.Users.Find(client);
    if (!entry) return false;
    record = entry->User();
    mark = FindNode(m_.TreeViewCurrent, nullptr, client);
    rule = why;
    return true;
  });
}

void SessionDisconnector::KickListIdle() {
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark,
                  DisconnectRule& rule) {
    UserEntry* entry = m_.Users.Find(client);
    if (!entry || !entry->User()) return false;
    const std::optional<DisconnectRule> chosen = RuleFor(*entry->User());
    if (!chosen) return false;
    record = entry->User();
    mark = FindNode(m_.TreeViewCurrent, nullptr, client);
    rule = *chosen;
    return true;
  });
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
