// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "core/DateTime.h"
#include "core/OwningConnectionTree.h"
#include "core/PointerList.h"
#include "core/Ports.h"
#include "core/ServerApi.h"
#include "core/Settings.h"
#include "core/Telemetry.h"
#include "core/ViewingConnectionTree.h"

namespace qm {

// Who does what for the monitor. Unset ports get do-nothing defaults.
struct MonitorPorts {
  Clock* clock = nullptr;
  MessageBoxes* messages = nullptr;
  MonitorView* view = nullptr;
  FileIcons* icons = nullptr;
  LookupStarter* lookups = nullptr;
  TickRules* rules = nullptr;
  Telemetry* telemetry = nullptr;
};

// The one application object that owns the program-wide values: the two
// trees, UserList, the counts, ProgramStarting, Settings. Everything runs
// on the user-interface thread.
class Monitor {
 public:
  Monitor(ServerApi& api, Settings& settings, const MonitorPorts& ports);
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  ServerApi& Api() { return api_; }
  Settings& Options() { return settings_; }
  Clock& GetClock() { return *clock_; }
  MessageBoxes& Messages() { return *messages_; }
  MonitorView& View() { return *view_; }
  FileIcons& Icons() { return *icons_; }
  LookupStarter& Lookups() { return *lookups_; }
  TickRules& Rules() { return *rules_; }
  const TickRules& Rules() const { return *rules_; }
  Telemetry& Metrics() { return *telemetry_; }
  void SetTelemetry(Telemetry* telemetry);
  void SetRules(TickRules* rules);
  void SetLookups(LookupStarter* lookups);
  TDateTime Now() const { return clock_->Now(); }
  double Steady() const { return clock_->Steady(); }
  // The user was active now (both clocks).
  void Touch(TTreeNodeCustom& user) const {
    user.LastActivity = Now();
    user.LastActivitySteady = Steady();
  }
  // How long the user has been idle, by the steady clock.
  double IdleSeconds(const TTreeNodeCustom& user) const {
    return Steady() - user.LastActivitySteady;
  }
  bool IsNT() const { return api_.IsNT(); }

  ViewingConnectionTree TreeViewCurrent;
  OwningConnectionTree TreeViewFormer;
  // One of the two, as their views see them.
  ConnectionTree& TreeView(bool current) {
    if (current) return TreeViewCurrent;
    return TreeViewFormer;
  }
  UserList Users;  // UserList
  int CurrentUserCount = 0;
  int FormerUserCount = 0;
  bool ProgramStarting = true;
  bool RefreshBusy = false;
  int ShownUserCount = -1;
  int ShownFileCount = -1;
  int OpenFileCount = 0;
  // The last tick could read the server's state (false while the server is
  // down or its state cannot be read; the lists then stay as they were).
  bool ServerStateRead = false;
  // The program ends because of a failure (a "Debug: " message, missing
  // rights), not because it was asked to: the users still connected then
  // stay current until the closing save ends them as "Program exitted".
  bool EndedByFailure = false;

  // A new user: its record (which starts its lookup), owned by the caller
  // until it is placed under a Former node. address: the client's address
  // as the server recorded it, or "": the lookup finds it.
  std::unique_ptr<TUser> CreateUser(const std::string& name, const std::string& userName,
                                    const std::string& address = {});
  // The user's top-level node in a tree (its present visit), or null.
  static TreeNode* UserNode(const ConnectionTree& tree, const UserEntry& entry) {
    return tree.LastTopLevelOf(entry.Name, entry.User());
  }

  // Ends every entry not seen since ClearSeenFlags; shutting down: with
  // the status "Program exitted".
  void SweepUsers(bool shuttingDown);

  // Information panels.
  void ShowInfo(ConnectionTree& tree);
  void ShowNoInfo(ConnectionTree& tree);
  void RefreshInfoPanels();  // both trees: ShowInfo if selected, else ShowNoInfo
  const std::string& Label(InfoLabel label) const { return labels_[label]; }
  void SetLabel(InfoLabel label, const std::string& text);

  // "Debug: ..." (error box), timer off, termination requested.
  void Fatal(const std::string& text);
  // The same with an information box (missing rights).
  void FatalInformation(const std::string& text);
  void SetStatusUserCount();  // second panel, per the active page

  // The user record a node belongs to: itself, its parent or grandparent.
  static TUser* UserOfNode(TreeNode* node);

 private:
  void SweepShares(UserEntry& user, bool shuttingDown);
  void SweepFiles(ShareEntry& share, bool shuttingDown, const UserEntry& user,
                  const std::string& shareName);

  ServerApi& api_;
  Settings& settings_;
  Clock* clock_;
  MessageBoxes* messages_;
  MonitorView* view_;
  FileIcons* icons_;
  LookupStarter* lookups_;
  TickRules* rules_;
  Telemetry* telemetry_;
  // What the server's reading observer reports to: readings may end on
  // another thread.
  std::atomic<Telemetry*> readingTelemetry_{nullptr};
  std::array<std::string, kInfoLabelCount> labels_;

  // Do-nothing defaults for unset ports.
  std::unique_ptr<Clock> ownClock_;
  std::unique_ptr<MessageBoxes> ownMessages_;
  std::unique_ptr<MonitorView> ownView_;
  std::unique_ptr<FileIcons> ownIcons_;
  std::unique_ptr<LookupStarter> ownLookups_;
  std::unique_ptr<TickRules> ownRules_;
  std::unique_ptr<Telemetry> ownTelemetry_;
};

}  // namespace qm
