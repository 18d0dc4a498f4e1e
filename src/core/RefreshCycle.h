// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "core/ListingCache.h"
#include "core/Monitor.h"

namespace qm {

// One tick polls the server service, brings the lists and both trees up to
// date, raises the alerts for new users, runs the program watch and the
// disconnect rules, and writes the counts.
class RefreshCycle {
 public:
  explicit RefreshCycle(Monitor& monitor) : m_(monitor) {}

  // A tick is due: the server's reading for it is started. True when the
  // tick is to run once ReadingComplete() (the thread that runs ticks
  // never waits for the server); false: run it now.
  bool TickDue() { return m_.Api().StartReading(); }
  bool ReadingComplete() { return m_.Api().ReadingComplete(); }

  // One tick, applying the newest reading. Returns at once while another
  // tick runs. A tick that ends abnormally (an exception) still clears
  // RefreshBusy, so ticks go on.
  void RefreshTimerTimer();

  // Both present nodes get image index as image and selected image.
  static void SetNodeIcons(TreeNode* currentNode, TreeNode* formerNode, int index);

 private:
  void Tick();
  // False when the server's state could not be read, or the program is to
  // end before the round was read whole: nobody departs.
  bool PollShares();
  void KnownUser(UserEntry& entry, const std::string& share, std::uint16_t type,
                 ShareEntry*& shareEntry);
  UserEntry& NewUser(const std::string& name, const std::string& address, const std::string& user,
                     const std::string& share, std::uint16_t type, ShareEntry*& shareEntry);
  ShareEntry& AddShare(UserEntry& entry, TreeNode* currentUser, TreeNode* formerUser,
                       const std::string& share, std::uint16_t type);
  // False when a stop cut the listing short.
  bool RefreshFilesNT(int connection, UserEntry& entry, ShareEntry& shareEntry,
                      ListingCache::Files& listing, PlatformString user, PlatformString path);
  bool StopAsked(int file) const;
  bool RefreshFiles95();
  // Each current user's security facts as the server tells them now.
  void RefreshSecurity();
  // The file's entry, found (hint first, when it has that name) or made.
  FileEntry* SeeFile(UserEntry& entry, ShareEntry& shareEntry, const std::string& path,
                     FileEntry* hint = nullptr);
  void DisconnectRules();
  void LiveInfoPanel();
  void WriteCounts();

  void Touch(TTreeNodeCustom& user) const {
    user.LastActivity = now_;
    user.LastActivitySteady = steady_;
  }

  Monitor& m_;
  std::string filePath_;      // reused for every open file's path
  SessionSecurity security_;  // reused for every user's facts
  TDateTime now_ = 0;         // the tick's moment on both clocks
  double steady_ = 0;
  std::uint64_t round_ = 0;  // the polling round of the tick

  ListingCache listings_;  // what the round before listed
};

}  // namespace qm
