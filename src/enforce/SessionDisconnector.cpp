#include "enforce/SessionDisconnector.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/Text.h"

namespace qm {

void SessionDisconnector::KickUserNT95(const std::string& client, std::uint32_t key) {
  ServerApi& api = m_.Api();
  if (api.IsNT()) {
    const PlatformText name = api.ToPlatformString("\\\\" + client);
    api.DeleteSession(name.get(), nullptr, key);
  } else {
    const PlatformText name = api.ToPlatformString(client);
    const PlatformText user = api.ToPlatformString(std::string());
    api.DeleteSession(name.get(), user.get(), key);
  }
}

void SessionDisconnector::SessionPass(const Chooser& choose) {
  ServerApi& api = m_.Api();
  const int n = api.SessionsInit();
  // A client with several sessions is one disconnection.
  std::vector<const TUser*> told;
  for (int i = 0; i < n; ++i) {
    const std::string client = api.FromPlatformString(api.SessionClient(i));
    TTreeNodeCustom* record = nullptr;
    TreeNode* node = nullptr;
    DisconnectRule rule = DisconnectRule::Command;
    if (!choose(client, record, node, rule)) continue;
    const auto* user = dynamic_cast<const TUser*>(record);
    if (user && std::find(told.begin(), told.end(), user) == told.end()) {
      told.push_back(user);
      m_.Metrics().Disconnecting(*user, rule);
    }
    KickUserNT95(client, static_cast<std::uint32_t>(api.SessionKey(i)));
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
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark,
                  DisconnectRule& rule) {
    if (client != name) return false;
    record = node->Data();
    mark = node;
    rule = DisconnectRule::Command;
    return true;
  });
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
