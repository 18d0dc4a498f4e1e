#include "enforce/SessionDisconnector.h"

#include <cmath>

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
  for (int i = 0; i < n; ++i) {
    const std::string client = api.FromPlatformString(api.SessionClient(i));
    TTreeNodeCustom* record = nullptr;
    TreeNode* node = nullptr;
    if (!choose(client, record, node)) continue;
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
  const std::string name = node->Text();
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark) {
    if (client != name) return false;
    record = node->Data();
    mark = node;
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
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark) {
    if (client != name) return false;
    record = last->Data();
    mark = last;
    return true;
  });
}

void SessionDisconnector::KickAllUsers() {
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark) {
    UserEntry* entry = m_.Users.Find(client);
    if (!entry) return false;
    record = entry->User();
    mark = FindNode(m_.TreeViewCurrent, nullptr, client);
    return true;
  });
}

void SessionDisconnector::KickListIdle() {
  SessionPass([&](const std::string& client, TTreeNodeCustom*& record, TreeNode*& mark) {
    UserEntry* entry = m_.Users.Find(client);
    if (!entry || !entry->User() || !ChosenByRules(*entry->User())) return false;
    record = entry->User();
    mark = FindNode(m_.TreeViewCurrent, nullptr, client);
    return true;
  });
}

bool SessionDisconnector::ChosenByRules(const TUser& user) const {
  const Settings& s = m_.Options();
  if (status_.WhoToKick() == KickList && list_.ListsUser(user.Name, user.IPAddress)) return true;
  if (s.Idle > 0 && IdleLongerThan(m_.IdleSeconds(user), s.Idle)) return true;
  return s.IPFilter && user.IPAddress != kNotKnownYet &&
         !AddressPassesFilter(user.IPAddress, s.IPFilterString);
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
