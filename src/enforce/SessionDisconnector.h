// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "enforce/DisconnectList.h"
#include "enforce/DisconnectOutcome.h"
#include "enforce/DisconnectStatus.h"

namespace qm {

// Ends the sessions of client computers, on command and by the rules of
// every tick. A disconnected user stays in the trees, marked "Kicked" with
// everything under it, until a later tick no longer finds it.
class SessionDisconnector {
 public:
  SessionDisconnector(Monitor& monitor, const DisconnectStatus& status, const DisconnectList& list)
      : m_(monitor), status_(status), list_(list) {}

  // Asks the server to delete the sessions of client (key: the session's
  // key on 95/98; address: only those from that address, "" all of them);
  // the server's status, 0 when it did.
  NetStatus KickUserNT95(const std::string& client, std::uint32_t key,
                         const std::string& address = {});

  // The selected user of the page showing; "No current user selected"
  // when that is not an open connection's user node. A refusal, or a user
  // with no session left to end, is said in a message box.
  void KickButtonClick();
  // The current user nodes a command names: by client name, by address,
  // or both (an empty text names any). A name alone also names the users
  // at that address, so that a client calling itself by another's address
  // is never taken for it unseen.
  std::vector<TreeNode*> CurrentUsers(const std::string& client, const std::string& address) const;
  // The command's disconnection of one current user node (the control
  // socket's), and what it did.
  DisconnectOutcome KickUser(TreeNode* node);
  // The address a user is known by: the server's record of it, else the
  // lookup's ("" while not known).
  static std::string AddressOf(const TUser& user);
  // The newest current user (the last top-level node of the current tree).
  void KickLastUser();
  // Every current user; rule says why (the status "all" itself, or the
  // program watch that forced it).
  void KickAllUsers(DisconnectRule rule = DisconnectRule::All);
  // The current users on the Disconnect List (status KickList), idle longer
  // than Idle minutes, or outside the address filter.
  void KickListIdle();

  // An address is let through by the filter: it begins with the filter
  // text (letters a to z in any case) and the filter ends at a boundary of
  // the address ("." or ":" or the end), so "192.168.1" lets 192.168.1.20
  // through and not 192.168.10.4. An empty filter lets every address pass.
  // An address with a zone (fe80::1%eth0) passes only a filter that names
  // the same zone (fe80::%eth0, or fe80::1%eth0), and a filter with a
  // zone only addresses in it.
  static bool AddressPassesFilter(std::string_view address, std::string_view filter);

  // Time since lastActivity is more than idleMinutes, counted in whole
  // milliseconds so that exactly the limit is not yet idle.
  static bool IdleLongerThan(TDateTime now, TDateTime lastActivity, int idleMinutes);
  // Idle time measured on the steady clock, in seconds.
  static bool IdleLongerThan(double idleSeconds, int idleMinutes);

 private:
  // Chooses the record and node to mark for the session of a client from
  // an address, and the rule that chose it; false leaves the session alone.
  using Chooser =
      std::function<bool(const std::string& client, const std::string& address,
                         TTreeNodeCustom*& record, TreeNode*& node, DisconnectRule& rule)>;
  // The command's session pass for a user node.
  DisconnectOutcome KickNode(TreeNode* node);
  // SessionsInit .. SessionsExit: every chosen session is deleted and its
  // user marked. Kept short: lookup threads enumerate sessions too. A
  // deletion the server refuses marks nothing (the user is still there and
  // the rule chooses it again at the next tick); it is said once per user
  // until a deletion of its sessions succeeds, on command every time.
  // On command the server is asked to wait for the outcome, which is
  // returned.
  DisconnectOutcome SessionPass(const Chooser& choose, bool command = false);
  void SayRefused(const std::string& client, const std::string& userKey, const std::string& reason,
                  bool command);
  // Why the server refused, in words, with the back end's own where it
  // has any.
  std::string RefusalReason(NetStatus status);
  // The current user a session belongs to: its name from its address, or
  // its name alone where the server gave the user no address.
  UserEntry* UserOfSession(const std::string& client, const std::string& address);
  // The session of client from address is one of user's.
  static bool SessionOfUser(const TUser& user, const std::string& client,
                            const std::string& address);
  // The first rule that chooses user, if any.
  std::optional<DisconnectRule> RuleFor(const TUser& user) const;

  Monitor& m_;
  const DisconnectStatus& status_;
  const DisconnectList& list_;
  // Clients whose refused disconnection has been said.
  std::set<std::string> refusalSaid_;
};

}  // namespace qm
