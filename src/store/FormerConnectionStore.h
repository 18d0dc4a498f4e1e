// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/Monitor.h"
#include "core/StoreProgress.h"

namespace qm {

inline constexpr const char* kTreeFileName = "Tree.dat";
inline constexpr const char* kDamagedTreeMessage =
    "Something is wrong with the input file, new file has been created";

// "Tree.dat", the history of former connections: the Former tree of the
// monitor, read once at start-up and written once at the end of the run.
class FormerConnectionStore {
 public:
  // path: ProgramDirectory + "/Tree.dat" (TreeFilePath).
  FormerConnectionStore(Monitor& monitor, std::string path);
  ~FormerConnectionStore();
  FormerConnectionStore(const FormerConnectionStore&) = delete;
  FormerConnectionStore& operator=(const FormerConnectionStore&) = delete;

  static std::string TreeFilePath(const std::string& programDirectory);

  // Fills TreeViewFormer and FormerUserCount from the file; a missing file
  // is created empty. A file larger than the size limit is read from its
  // end, as far as the limit goes, from the first user there on: the newest
  // users are kept, and the whole file is kept beside the new one at the
  // save. A damaged file (a length that is no whole number of
  // records, an unknown level, a node count that does not match) is
  // discarded whole with kDamagedTreeMessage; a file that cannot be read
  // gives its error text. Both are kept beside the new file at the save
  // (KeptCopyPath), so the history they held is not lost.
  void LoadFormerConnections();

  // The reading rules over the bytes of a file. False when they were
  // discarded as damaged (the message is shown).
  bool LoadRecords(std::string_view data);

  // Ends every open connection ("Program exitted"), drops the oldest former
  // users beyond the Count setting, writes the rest in tree order and frees
  // every record; the Former tree is left empty. Runs once per run: a
  // second call does nothing and returns the first one's result. False when
  // the file could not be written (the error is shown; the old file stays).
  // The caller then sets the main window's state to normal.
  bool SaveFormerConnections(StoreProgress* progress = nullptr);

  // The bytes of the Former tree in tree order, from top-level node
  // firstUser on; a node's level gives its record's level (deeper than 2
  // stored as 2). Nodes without a record are left out. One progress step
  // per level-0 node.
  // endOpenAt: not 0, open connections are written as ended "Program
  // exitted" at that moment (their records stay open).
  static std::string EncodeTree(const ConnectionTree& tree, int firstUser = 0,
                                StoreProgress* progress = nullptr, TDateTime endOpenAt = 0);

  // Between the load and the save the file is rewritten so that a crash
  // loses at most the last minute: after a change, once kCheckpointSeconds
  // have passed since the last write, the history is written as the save
  // would write it at that moment, open connections ended "Program
  // exitted" then. Changed() is told of every change (a node added or
  // removed in either tree, a lookup's result); CheckpointIfDue() runs
  // after every tick. True when it wrote.
  static constexpr double kCheckpointSeconds = 60.0;
  void Changed();
  bool CheckpointIfDue();

  // At most this many file records per user in the history: beyond it the
  // oldest ended files of that user are dropped, down to nine tenths of it
  // so that a busy user is not trimmed at every tick. Users that grew are
  // trimmed after every tick (CheckpointIfDue) and the whole history after
  // the load; the first drop is told once.
  static constexpr int kFilesPerUser = 5000;
  void SetFilesPerUser(int bound) { filesPerUser_ = bound; }
  void SetSizeLimit(std::size_t bytes) { sizeLimit_ = bytes; }
  void TrimFiles();
  std::uint64_t DroppedFiles() const { return droppedFiles_; }

  bool Saved() const { return saved_; }
  // The loaded file was damaged or could not be read.
  bool KeepOldFile() const { return keepOldFile_; }
  // Where the old file went at the last save, or "" when it was not kept.
  const std::string& KeptCopyPath() const { return keptCopyPath_; }

 private:
  void DiscardDamaged();
  // The first top-level node kept within the Count setting (older ones are
  // dropped from the file).
  int FirstKeptUser() const;
  // Writes data over the file atomically, keeping a damaged or unreadable
  // old file first; an error is shown when tell says so.
  bool WriteTree(const std::string& data, bool tell = true);

  // Counts the nodes added to and removed from the trees as changes.
  struct TreeChanges final : TreeObserver {
    explicit TreeChanges(FormerConnectionStore& store) : store_(store) {}
    void NodeInserted(TreeNode& /*node*/) override { store_.Changed(); }
    void NodeRemoved(TreeNode* /*parent*/, int /*row*/) override { store_.Changed(); }
    FormerConnectionStore& store_;
  };
  // Keeps the file at path_ under "<path>.damaged" (a free name beside it).
  bool KeepOldCopy(std::string& error);
  // The newest whole users of a file over the size limit; false when it
  // cannot be read so (error set).
  bool ReadNewestPart(std::string& data, std::string& error);
  // Drops the oldest ended files of a user beyond the bound.
  void TrimUser(TreeNode& user);

  // Notes the users of the history that got a file.
  struct FormerGrowth final : TreeObserver {
    explicit FormerGrowth(FormerConnectionStore& store) : store_(store) {}
    void NodeInserted(TreeNode& node) override;
    void NodeRemoved(TreeNode* parent, int row) override;
    FormerConnectionStore& store_;
  };

  Monitor& m_;
  std::string path_;
  bool saved_ = false;
  bool saveResult_ = false;
  bool keepOldFile_ = false;
  std::string keptCopyPath_;
  std::uint64_t changes_ = 0;
  std::uint64_t writtenChanges_ = 0;
  double lastWrite_ = 0;  // steady clock of the last write (or of the load)
  bool checkpointFailed_ = false;
  TreeChanges treeChanges_{*this};
  int filesPerUser_ = kFilesPerUser;
  std::size_t sizeLimit_;
  std::uint64_t droppedFiles_ = 0;
  std::unordered_set<TreeNode*> grown_;
  bool trimAll_ = false;  // a user went: the pointers in grown_ may be stale
  bool trimming_ = false;
  FormerGrowth formerGrowth_{*this};
};

}  // namespace qm
