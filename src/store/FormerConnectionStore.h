#pragma once

#include <string>
#include <string_view>

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

  static std::string TreeFilePath(const std::string& programDirectory);

  // Fills TreeViewFormer and FormerUserCount from the file; a missing file
  // is created empty. A damaged file (a length that is no whole number of
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
  static std::string EncodeTree(const ConnectionTree& tree, int firstUser = 0,
                                StoreProgress* progress = nullptr);

  bool Saved() const { return saved_; }
  // The loaded file was damaged or could not be read.
  bool KeepOldFile() const { return keepOldFile_; }
  // Where the old file went at the last save, or "" when it was not kept.
  const std::string& KeptCopyPath() const { return keptCopyPath_; }

 private:
  void DiscardDamaged();
  // Keeps the file at path_ under "<path>.damaged" (a free name beside it).
  bool KeepOldCopy(std::string& error);

  Monitor& m_;
  std::string path_;
  bool saved_ = false;
  bool saveResult_ = false;
  bool keepOldFile_ = false;
  std::string keptCopyPath_;
};

}  // namespace qm
