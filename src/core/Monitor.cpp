// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/Monitor.h"

#include <iterator>
#include <memory>
#include <vector>

namespace qm {

namespace {
class SilentMessageBoxes final : public MessageBoxes {
 public:
  void Information(const std::string&) override {}
  void Error(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
  std::string Prompt(const std::string&, const std::string&) override { return {}; }
};
}  // namespace

Monitor::Monitor(ServerApi& api, Settings& settings, const MonitorPorts& ports)
    : api_(api),
      settings_(settings),
      clock_(ports.clock),
      messages_(ports.messages),
      view_(ports.view),
      icons_(ports.icons),
      lookups_(ports.lookups),
      rules_(ports.rules),
      telemetry_(ports.telemetry) {
  if (!clock_) clock_ = (ownClock_ = std::make_unique<SystemClock>()).get();
  if (!messages_) messages_ = (ownMessages_ = std::make_unique<SilentMessageBoxes>()).get();
  if (!view_) view_ = (ownView_ = std::make_unique<MonitorView>()).get();
  if (!icons_) icons_ = (ownIcons_ = std::make_unique<FileIcons>()).get();
  if (!lookups_) lookups_ = (ownLookups_ = std::make_unique<LookupStarter>()).get();
  if (!rules_) rules_ = (ownRules_ = std::make_unique<TickRules>()).get();
  if (!telemetry_) telemetry_ = (ownTelemetry_ = std::make_unique<Telemetry>()).get();
  readingTelemetry_ = telemetry_;
  api_.SetReadingObserver(
      [this](bool ok, double seconds) { readingTelemetry_.load()->ServerReading(ok, seconds); });
}

Monitor::~Monitor() {
  api_.SetReadingObserver(nullptr);
  // Threads first, records after (a user outlives its lookup).
  for (UserEntry& u : Users) {
    if (TUser* user = u.User(); user && user->IPThread) user->IPThread->Terminate();
  }
  for (UserEntry& u : Users) {
    if (TUser* user = u.User(); user && user->IPThread) {
      user->IPThread->Terminate();
      user->IPThread->WaitFor();
      user->IPThread.reset();
    }
  }
  lookups_->JoinReleased();
}

void Monitor::SetRules(TickRules* rules) {
  if (rules) {
    rules_ = rules;
  } else {
    if (!ownRules_) ownRules_ = std::make_unique<TickRules>();
    rules_ = ownRules_.get();
  }
}

void Monitor::SetTelemetry(Telemetry* telemetry) {
  if (telemetry) {
    telemetry_ = telemetry;
  } else {
    if (!ownTelemetry_) ownTelemetry_ = std::make_unique<Telemetry>();
    telemetry_ = ownTelemetry_.get();
  }
  readingTelemetry_ = telemetry_;
}

void Monitor::SetLookups(LookupStarter* lookups) {
  if (lookups) {
    lookups_ = lookups;
  } else {
    if (!ownLookups_) ownLookups_ = std::make_unique<LookupStarter>();
    lookups_ = ownLookups_.get();
  }
}

std::unique_ptr<TUser> Monitor::CreateUser(const std::string& name, const std::string& userName,
                                           const std::string& address) {
  auto user = std::make_unique<TUser>(name, ProgramStarting, Now(), userName, IsNT());
  user->LastActivitySteady = Steady();
  user->ClientAddress = address;
  if (!address.empty()) user->IPAddress = address;
  user->IPThread = lookups_->StartLookup(*user);
  return user;
}

TUser* Monitor::UserOfNode(TreeNode* node) {
  while (node && node->Parent()) node = node->Parent();
  return node ? dynamic_cast<TUser*>(node->Data()) : nullptr;
}

// ---------------- sweeps ----------------

void Monitor::SweepFiles(ShareEntry& share, bool shuttingDown, const UserEntry& user,
                         const std::string& shareName) {
  const std::uint64_t round = Users.Round();
  if (share.SettleFiles(round)) return;
  // The share's node, found once for all its departing files.
  bool looked = false;
  TreeNode* shareNode = nullptr;
  for (auto it = share.Files.begin(); it != share.Files.end();) {
    FileEntry& f = *it;
    ++it;
    if (f.SeenRound == round) continue;
    if (!looked) {
      looked = true;
      TreeNode* userNode = UserNode(TreeViewCurrent, user);
      shareNode = userNode ? FindNode(TreeViewCurrent, userNode, shareName) : nullptr;
    }
    TreeNode* fileNode = shareNode ? FindNode(TreeViewCurrent, shareNode, f.Name) : nullptr;
    TTreeNodeCustom* record = fileNode ? fileNode->Data() : f.File();
    if (record) {
      record->ExitTime = Now();
      if (shuttingDown) record->ExitStatus = stProgramExited;
    }
    TreeViewCurrent.Delete(fileNode);
    share.Files.Remove(f.Name);
  }
}

void Monitor::SweepShares(UserEntry& user, bool shuttingDown) {
  for (auto it = user.Shares.begin(); it != user.Shares.end();) {
    ShareEntry& s = *it;
    ++it;
    SweepFiles(s, shuttingDown, user, s.Name);
    if (s.SeenRound == Users.Round()) continue;
    if (TShare* share = s.Share()) {
      share->ExitTime = Now();
      if (shuttingDown) share->ExitStatus = stProgramExited;
    }
    TreeNode* userNode = UserNode(TreeViewCurrent, user);
    TreeViewCurrent.Delete(userNode ? FindNode(TreeViewCurrent, userNode, s.Name) : nullptr);
    user.Shares.Remove(s.Name);
  }
}

void Monitor::SweepUsers(bool shuttingDown) {
  // The departing users' lookups go all together, before the records end:
  // a sweep never waits for a lookup that has not got its result.
  const std::uint64_t round = Users.Round();
  std::vector<std::unique_ptr<LookupThread>> leaving;
  for (UserEntry& u : Users) {
    if (TUser* user = u.User(); u.SeenRound != round && user && user->IPThread) {
      leaving.push_back(std::move(user->IPThread));
    }
  }
  lookups_->Release(std::move(leaving));
  for (auto it = Users.begin(); it != Users.end();) {
    UserEntry& u = *it;
    SweepShares(u, shuttingDown);
    if (u.SeenRound == round) {
      ++it;
      continue;
    }
    TUser* user = u.User();
    user->ExitTime = Now();
    if (shuttingDown) user->ExitStatus = stProgramExited;
    TreeViewCurrent.Delete(UserNode(TreeViewCurrent, u));
    auto next = std::next(it);
    if (user->IPAddress == kNotKnownYet) user->IPAddress = kNotKnown;
    // The address may have come from the server while the host name was
    // still being looked for.
    if (user->HostName == kNotKnownYet) user->HostName = kNotKnown;
    if (user->UserName == kNotKnownYet) user->UserName = kNotKnown;
    user->ClientAddress.clear();
    Users.Remove(u.Key());
    --CurrentUserCount;
    if (CurrentUserCount == 0 && !shuttingDown) view_->UpdateConnectedIcon(false);
    RefreshInfoPanels();
    it = next;
  }
}

// ---------------- information panels ----------------

void Monitor::SetLabel(InfoLabel label, const std::string& text) {
  if (labels_[label] == text) return;
  labels_[label] = text;
  view_->InfoLabelChanged(label, text);
}

void Monitor::ShowInfo(ConnectionTree& tree) {
  TreeNode* node = tree.Selected();
  TTreeNodeCustom* r = node ? node->Data() : nullptr;
  if (!r) {
    ShowNoInfo(tree);
    return;
  }
  const TDateTime now = Now();
  const auto* user = dynamic_cast<const TUser*>(r);
  if (&tree == &TreeViewCurrent) {
    SetLabel(EnTiCuLabel, LongTimeText(r->EnterTime));
    SetLabel(EnDaCuLabel, ShortDateText(r->EnterTime));
    SetLabel(CoCuLabel, DiffTime(now, r->EnterTime));
    const TUser* owner = UserOfNode(node);
    SetLabel(IdCuLabel, owner ? DurationText(IdleSeconds(*owner)) : std::string());
    SetLabel(IPCuLabel, user ? user->IPAddress : std::string());
    SetLabel(IPTextCuLabel, user ? user->HostName : std::string());
    SetLabel(UserNameCuLabel, user ? user->UserName : std::string());
  } else {
    const bool open = r->IsOpen();
    SetLabel(EnTiFoLabel, LongTimeText(r->EnterTime));
    SetLabel(EnDaFoLabel, ShortDateText(r->EnterTime));
    SetLabel(EnStFoLabel, StatusText(r->EnterStatus));
    SetLabel(ExTiFoLabel, open ? "?" : LongTimeText(r->ExitTime));
    SetLabel(ExDaFoLabel, open ? "?" : ShortDateText(r->ExitTime));
    SetLabel(ExStFoLabel, open ? "?" : StatusText(r->ExitStatus));
    SetLabel(CoTiFoLabel, DiffTime(open ? now : r->ExitTime, r->EnterTime));
    SetLabel(IPFormerLabel, user ? user->IPAddress : std::string());
    SetLabel(IPTextFoLabel, user ? user->HostName : std::string());
    SetLabel(UserNameFoLabel, user ? user->UserName : std::string());
  }
}

void Monitor::ShowNoInfo(ConnectionTree& tree) {
  const bool current = &tree == &TreeViewCurrent;
  const int first = current ? EnTiCuLabel : EnTiFoLabel;
  const int last = current ? UserNameCuLabel : UserNameFoLabel;
  for (int l = first; l <= last; ++l) SetLabel(static_cast<InfoLabel>(l), std::string());
}

void Monitor::RefreshInfoPanels() {
  for (ConnectionTree* tree : {&TreeView(true), &TreeView(false)}) {
    if (tree->Selected()) {
      ShowInfo(*tree);
    } else {
      ShowNoInfo(*tree);
    }
  }
}

void Monitor::Fatal(const std::string& text) {
  EndedByFailure = true;
  messages_->Error(text);
  view_->StopRefreshTimer();
  view_->RequestTerminate();
}

void Monitor::FatalInformation(const std::string& text) {
  EndedByFailure = true;
  messages_->Information(text);
  view_->StopRefreshTimer();
  view_->RequestTerminate();
}

void Monitor::SetStatusUserCount() {
  if (view_->CurrentPageActive()) {
    view_->SetStatusText(1, "Number of current users: " + std::to_string(CurrentUserCount));
  } else {
    view_->SetStatusText(1, "Number of former users: " + std::to_string(FormerUserCount));
  }
}

}  // namespace qm
