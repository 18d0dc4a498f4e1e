// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/RefreshCycle.h"

#include <chrono>
#include <string>
#include <utility>

namespace qm {

namespace {
constexpr int kNetNameNotFound = -2310;
constexpr int kServerNotStarted = -2114;
constexpr int kServerNotStartedAlias = -2214;
constexpr int kAccessDenied = -5;
constexpr int kStateUnreadable = -static_cast<int>(kServerStateUnreadable);

int ShareImage(std::uint16_t type) {
  return type == 1 ? kImagePrintShare : kImageDiskShare;
}

// Clears RefreshBusy however the tick ends.
class BusyGuard {
 public:
  explicit BusyGuard(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyGuard() { busy_ = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  bool& busy_;
};
}  // namespace

void RefreshCycle::SetNodeIcons(TreeNode* currentNode, TreeNode* formerNode, int index) {
  if (currentNode) currentNode->Tree().SetImages(currentNode, index);
  if (formerNode) formerNode->Tree().SetImages(formerNode, index);
}

void RefreshCycle::RefreshTimerTimer() {
  if (m_.RefreshBusy) return;
  BusyGuard guard(m_.RefreshBusy);
  const auto start = std::chrono::steady_clock::now();
  Tick();
  // Clients found before the server could be read at all were there when
  // the program started.
  if (m_.ServerStateRead) m_.ProgramStarting = false;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  m_.Metrics().TickFinished(m_, took.count());
}

void RefreshCycle::Tick() {
  // One reading of the clocks serves the tick: every user active in it was
  // active now.
  now_ = m_.Now();
  steady_ = m_.Steady();
  ClearSeenFlags(m_.Users);
  round_ = m_.Users.Round();
  const int files = m_.OpenFileCount;
  m_.OpenFileCount = 0;
  // A reading that failed while the server runs is no departure of
  // everyone: users, shares, files, counts and idle clocks stay as they
  // were, and no rule acts on them. Nor does a tick that ends the program
  // end anybody's visit: who is still connected is stored as "Program
  // exitted" by the closing save.
  bool read = !m_.View().StopRequested() && PollShares() && !m_.EndedByFailure;
  if (read && !m_.IsNT()) read = RefreshFiles95();
  read = read && !m_.EndedByFailure;
  if (read) {
    m_.SweepUsers(false);
    RefreshSecurity();
  } else {
    m_.OpenFileCount = files;
  }
  for (const std::string& notice : m_.Api().TakeNotices()) {
    m_.View().ServerNotice(notice);
  }
  listings_.EndRound(round_, read);
  if (m_.Options().Quake && !m_.View().StopRequested()) m_.Rules().ProgramWatch();
  if (read) DisconnectRules();
  LiveInfoPanel();
  WriteCounts();
}

bool RefreshCycle::PollShares() {
  ServerApi& api = m_.Api();
  const int n = api.SharesInit();
  m_.ServerStateRead = n >= 0;
  if (n == kStateUnreadable) {
    api.SharesExit();
    return false;
  }
  if (n == kAccessDenied) {
    m_.FatalInformation("You don't have the necessary rights to execute this program");
  } else if (n < 0 && n != kServerNotStarted && n != kServerNotStartedAlias) {
    m_.Fatal("Debug: SharesInit " + std::to_string(n));
  }
  bool stopped = false;
  for (int i = 0; i < n && !stopped; ++i) {
    const std::string name = api.FromPlatformString(api.ShareName(i));
    const std::uint16_t type = api.ShareType(i);
    if (name == "IPC$" && !m_.Options().IPC) continue;
    int cn;
    {
      const PlatformText share = api.ToPlatformString(name);
      cn = api.ConnectionsInit(share.get());
    }
    if (cn < 0 && cn != kNetNameNotFound) {
      m_.Fatal("Debug: ConnectionsInit " + std::to_string(cn));
    }
    ListingCache::Connections& order = listings_.ConnectionsOf(name, round_);
    // The share's path and each connection's account go back to the server
    // as the server gave them.
    PlatformString path = api.SharePath(i);
    const bool files = m_.IsNT() && !api.EmptyText(path);
    for (int j = 0; j < cn; ++j) {
      if ((stopped = m_.View().StopRequested())) break;
      const PlatformString client = api.ConnectionClient(j);
      const PlatformString address = api.ConnectionAddress(j);
      const ListingCache::Place* last = order.LastAt(static_cast<std::size_t>(j));
      ListingCache::Place place;
      UserEntry*& entry = place.user;
      ShareEntry*& shareEntry = place.share;
      if (last && api.SameText(client, last->user->Name) &&
          api.SameText(address, last->user->Address)) {
        // The same user on the same place as the round before: its entries
        // are known without a lookup by name.
        place = *last;
        entry->SeenRound = round_;
        shareEntry->SeenRound = round_;
      } else {
        const std::string clientName = api.FromPlatformString(client);
        const std::string clientAddress = api.FromPlatformString(address);
        entry = m_.Users.Find(UserKey(clientName, clientAddress));
        if (entry) {
          KnownUser(*entry, name, type, shareEntry);
        } else {
          const std::string user = m_.IsNT() ? api.FromPlatformString(api.ConnectionUser(j)) : "";
          entry = &NewUser(clientName, clientAddress, user, name, type, shareEntry);
        }
      }
      if (files) {
        if (!place.files) place.files = &listings_.FilesOf(*shareEntry);
        PlatformString user = api.ConnectionUser(j);
        stopped = !RefreshFilesNT(j, *entry, *shareEntry, *place.files,
                                  api.EmptyText(user) ? nullptr : user, path);
      } else {
        place.files = nullptr;  // what this round did not poll may be forgotten
      }
      order.Now.push_back(place);
    }
    listings_.SettleShare(order, round_);
    if (api.ConnectionsExit() == -1) m_.Fatal("Debug: ConnectionsExit");
  }
  if (api.SharesExit() == -1) m_.Fatal("Debug: SharesExit");
  if (stopped) {
    // Half a round: no order of it is the round's.
    listings_.ForgetConnections();
    return false;
  }
  return true;
}

void RefreshCycle::KnownUser(UserEntry& entry, const std::string& share, std::uint16_t type,
                             ShareEntry*& shareEntry) {
  entry.SeenRound = round_;
  shareEntry = entry.Shares.Find(share);
  if (shareEntry) {
    shareEntry->SeenRound = round_;
    return;
  }
  TreeNode* currentUser = Monitor::UserNode(m_.TreeViewCurrent, entry);
  TreeNode* formerUser = Monitor::UserNode(m_.TreeViewFormer, entry);
  Touch(*entry.User());
  shareEntry = &AddShare(entry, currentUser, formerUser, share, type);
}

ShareEntry& RefreshCycle::AddShare(UserEntry& entry, TreeNode* currentUser, TreeNode* formerUser,
                                   const std::string& share, std::uint16_t type) {
  auto record = std::make_unique<TShare>(share, m_.ProgramStarting, m_.Now());
  record->DiskShare = type != 1;
  TShare* raw = record.get();
  TreeNode* currentNode = m_.TreeViewCurrent.Add(currentUser, share, raw);
  ShareEntry& shareEntry = entry.Shares.Add(share, raw, round_);
  TreeNode* formerNode = m_.TreeViewFormer.AddOwned(formerUser, share, std::move(record));
  SetNodeIcons(currentNode, formerNode, ShareImage(type));
  m_.TreeViewFormer.MakeVisible(formerNode);
  return shareEntry;
}

UserEntry& RefreshCycle::NewUser(const std::string& name, const std::string& address,
                                 const std::string& user, const std::string& share,
                                 std::uint16_t type, ShareEntry*& shareEntry) {
  std::unique_ptr<TUser> record = m_.CreateUser(name, user, address);
  TUser* raw = record.get();
  // Known before the user's node is added, so its arrival carries it.
  m_.Api().Backend().ClientSecurity(name, raw->Security);
  ++m_.FormerUserCount;
  ++m_.CurrentUserCount;
  if (m_.CurrentUserCount == 1) m_.View().UpdateConnectedIcon(true);
  TreeNode* currentNode = m_.TreeViewCurrent.Add(nullptr, name, raw);
  UserEntry& entry = m_.Users.Add(UserKey(name, address), name, raw, round_);
  entry.Address = address;
  TreeNode* formerNode = m_.TreeViewFormer.AddOwned(nullptr, name, std::move(record));
  SetNodeIcons(currentNode, formerNode, kImageUser);
  shareEntry = &AddShare(entry, currentNode, formerNode, share, type);
  if (m_.Options().Siren) m_.View().PlayAlertSound();
  if (m_.Options().Popup) m_.View().PopupOnNewConnection();
  if (m_.Options().Notify) m_.View().NotifyNewConnection(name, share);
  return entry;
}

FileEntry* RefreshCycle::SeeFile(UserEntry& entry, ShareEntry& shareEntry, const std::string& path,
                                 FileEntry* hint) {
  if (FileEntry* f = hint && hint->Name == path ? hint : shareEntry.Files.Find(path)) {
    f->SeenRound = round_;
    Touch(*entry.User());
    return f;
  }
  TreeNode* currentUser = Monitor::UserNode(m_.TreeViewCurrent, entry);
  TreeNode* formerUser = Monitor::UserNode(m_.TreeViewFormer, entry);
  TreeNode* currentShare =
      currentUser ? FindNode(m_.TreeViewCurrent, currentUser, shareEntry.Name) : nullptr;
  TreeNode* formerShare =
      formerUser ? FindNode(m_.TreeViewFormer, formerUser, shareEntry.Name) : nullptr;
  auto record = std::make_unique<TFile>(path, m_.ProgramStarting, m_.Now());
  TFile* raw = record.get();
  Touch(*entry.User());
  TreeNode* currentNode = m_.TreeViewCurrent.Add(currentShare, path, raw);
  TreeNode* formerNode = m_.TreeViewFormer.AddOwned(formerShare, path, std::move(record));
  FileEntry& added = shareEntry.Files.Add(path, raw, round_);
  SetNodeIcons(currentNode, formerNode, m_.Icons().FileIconIndex(path));
  m_.TreeViewFormer.MakeVisible(formerNode);
  return &added;
}

// The files of the connection's own client through its share, where the
// server tells who holds each file: listing by account and base path would
// put a file under every client of the account and under every share whose
// path begins with this one's.
bool RefreshCycle::StopAsked(int file) const {
  // Every 1,024 files: a connection may hold tens of thousands, and a stop
  // is answered within a second whatever the tick is doing.
  return (file & 1023) == 1023 && m_.View().StopRequested();
}

bool RefreshCycle::RefreshFilesNT(int connection, UserEntry& entry, ShareEntry& shareEntry,
                                  ListingCache::Files& listing, PlatformString user,
                                  PlatformString path) {
  ServerApi& api = m_.Api();
  const int k = api.FilesInitOfConnection(connection, user, path);
  if (k == -1) m_.Fatal("Debug: FilesInit");
  bool stopped = false;
  if (listing.PolledRound == round_) {
    // Another connection of the same client to the same share lists the
    // files the first one did: each open file is seen, and counted, once.
    listing.StopMatching(round_);
    for (int f = 0; f < k; ++f) {
      if ((stopped = StopAsked(f))) break;
      api.FromPlatformString(api.OpenFilePath(f), filePath_);
      const FileEntry* known = shareEntry.Files.Find(filePath_);
      if (known && known->SeenRound == round_) continue;
      ++m_.OpenFileCount;
      listing.Now.Add(filePath_, SeeFile(entry, shareEntry, filePath_));
    }
    if (api.FilesExit() == -1) m_.Fatal("Debug: FilesExit");
    return !stopped;
  }
  if (k >= 0) m_.OpenFileCount += k;
  listings_.StartFiles(listing, round_);
  const ListingCache::Listing& listed = listing.Listed;
  const bool known = listed.Round + 1 == round_;
  if (k > 0) Touch(*entry.User());
  for (int f = 0; f < k; ++f) {
    if ((stopped = StopAsked(f))) break;
    const PlatformString p = api.OpenFilePath(f);
    if (listing.Matching) {
      if (listing.Matched < listed.Entries.size()) {
        const std::size_t length = api.MatchedText(p, listed.Names.data() + listing.MatchedBytes);
        if (length != std::string::npos) {
          ++listing.Matched;
          listing.MatchedBytes += length + 1;
          continue;
        }
      }
      listing.StopMatching(round_);
    }
    api.FromPlatformString(p, filePath_);
    const std::size_t at = listing.Now.Entries.size();
    FileEntry* hint = known && at < listed.Entries.size() ? listed.Entries[at] : nullptr;
    listing.Now.Add(filePath_, SeeFile(entry, shareEntry, filePath_, hint));
  }
  if (api.FilesExit() == -1) m_.Fatal("Debug: FilesExit");
  return !stopped;
}

bool RefreshCycle::RefreshFiles95() {
  ServerApi& api = m_.Api();
  const int k = api.FilesInit(nullptr, nullptr);
  if (k >= 0) m_.OpenFileCount += k;
  if (k == -1) m_.Fatal("Debug: FilesInit");
  bool stopped = false;
  for (int f = 0; f < k; ++f) {
    if ((stopped = StopAsked(f))) break;
    const std::string u = api.FromPlatformString(api.OpenFileUser(f));
    const std::string s = api.FromPlatformString(api.OpenFileShare(f));
    const std::string p = api.FromPlatformString(api.OpenFilePath(f));
    UserEntry* entry = m_.Users.Find(u);
    if (!entry) continue;
    ShareEntry* shareEntry = entry->Shares.Find(s);
    if (!shareEntry) continue;
    SeeFile(*entry, *shareEntry, p);
  }
  if (api.FilesExit() == -1) m_.Fatal("Debug: FilesExit");
  return !stopped;
}

void RefreshCycle::RefreshSecurity() {
  ServerBackend& backend = m_.Api().Backend();
  for (UserEntry& entry : m_.Users) {
    TUser* user = entry.User();
    // A server that tells nothing of a user now leaves what it told before.
    if (!user || !backend.ClientSecurity(entry.Name, security_) || security_ == user->Security) {
      continue;
    }
    SessionSecurity before = std::exchange(user->Security, security_);
    m_.Metrics().SecurityChanged(*user, before);
  }
}

void RefreshCycle::DisconnectRules() {
  if (m_.CurrentUserCount <= 0) return;
  const Settings& s = m_.Options();
  TickRules& rules = m_.Rules();
  if (s.MaxNumber != 0 && s.MaxNumber < m_.CurrentUserCount) rules.KickLastUser();
  const KickStatus who = rules.WhoToKick();
  if (who == KickAll) {
    rules.KickAllUsers();
  } else if (who == KickList) {
    rules.KickListIdle();
  } else if (s.Idle != 0) {
    rules.KickListIdle();
  } else if (s.IPFilter) {
    rules.KickListIdle();
  }
}

void RefreshCycle::LiveInfoPanel() {
  if (!m_.View().WindowShown()) return;
  const TDateTime now = m_.Now();
  if (m_.View().CurrentPageActive()) {
    ConnectionTree& tree = m_.TreeViewCurrent;
    tree.ExpandAll();
    if (!tree.Selected() && tree.FirstNode()) {
      tree.Select(tree.FirstNode());
      m_.ShowInfo(tree);
    }
    if (TreeNode* node = tree.Selected(); node && node->Data()) {
      m_.SetLabel(CoCuLabel, DiffTime(now, node->Data()->EnterTime));
      const TUser* owner = Monitor::UserOfNode(node);
      m_.SetLabel(IdCuLabel, owner ? DurationText(m_.IdleSeconds(*owner)) : std::string());
    } else {
      m_.ShowNoInfo(tree);
    }
  } else {
    ConnectionTree& tree = m_.TreeViewFormer;
    if (TreeNode* node = tree.Selected()) {
      if (node->Data() && m_.Label(ExTiFoLabel) == "?") {
        m_.SetLabel(CoTiFoLabel, DiffTime(now, node->Data()->EnterTime));
      }
    } else {
      m_.ShowNoInfo(tree);
    }
  }
}

void RefreshCycle::WriteCounts() {
  if (m_.CurrentUserCount == m_.ShownUserCount && m_.OpenFileCount == m_.ShownFileCount) return;
  const std::string n = std::to_string(m_.CurrentUserCount);
  const std::string f = std::to_string(m_.OpenFileCount);
  MonitorView& view = m_.View();
  view.SetCaption("Quillmoor 98 - " + n + " connection(s)");
  view.SetApplicationHint(n + " connection(s)");
  view.SetTrayTooltip(n + " connection(s) / " + f + " open file(s)");
  m_.SetStatusUserCount();
  m_.ShownUserCount = m_.CurrentUserCount;
  m_.ShownFileCount = m_.OpenFileCount;
}

}  // namespace qm
