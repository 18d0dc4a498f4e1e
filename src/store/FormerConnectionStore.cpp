// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "store/FormerConnectionStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "os/AtomicFile.h"
#include "store/NodeRecord.h"

namespace qm {

namespace {
const unsigned char* Bytes(std::string_view data, std::size_t record) {
  return reinterpret_cast<const unsigned char*>(data.data()) + record * NodeRecord::kSize;
}

// endOpenAt: not 0, open connections are stored as ended then, as the
// shutdown would end them (the records themselves stay open).
void EncodeSubtree(const TreeNode& node, int level, std::string& out, std::size_t& used,
                   StoreProgress* progress, TDateTime endOpenAt) {
  if (level == 0 && progress) progress->StepIt();
  if (const TTreeNodeCustom* record = node.Data()) {
    NodeRecord stored = ToNodeRecord(*record, LevelOfRecord(*record));
    if (endOpenAt != 0 && record->IsOpen()) {
      stored.ExitTime = endOpenAt;
      stored.ExitStatus = stProgramExited;
      for (std::string* text : {&stored.UserName, &stored.IPAddress, &stored.HostName}) {
        if (*text == kNotKnownYet) *text = kNotKnown;
      }
    }
    stored.Encode(reinterpret_cast<unsigned char*>(out.data()) + used);
    used += NodeRecord::kSize;
  }
  for (int i = 0; i < node.ChildCount(); ++i) {
    EncodeSubtree(*node.Child(i), level + 1, out, used, progress, endOpenAt);
  }
}
}  // namespace

FormerConnectionStore::FormerConnectionStore(Monitor& monitor, std::string path)
    : m_(monitor), path_(std::move(path)), sizeLimit_(kDataFileMaxBytes) {
  m_.TreeViewCurrent.AddObserver(&treeChanges_);
  m_.TreeViewFormer.AddObserver(&treeChanges_);
  m_.TreeViewFormer.AddObserver(&formerGrowth_);
}

FormerConnectionStore::~FormerConnectionStore() {
  m_.TreeViewCurrent.RemoveObserver(&treeChanges_);
  m_.TreeViewFormer.RemoveObserver(&treeChanges_);
  m_.TreeViewFormer.RemoveObserver(&formerGrowth_);
}

void FormerConnectionStore::FormerGrowth::NodeInserted(TreeNode& node) {
  if (node.Parent() && node.Parent()->Parent() && !node.Parent()->Parent()->Parent()) {
    store_.grown_.insert(node.Parent()->Parent());
  }
}

void FormerConnectionStore::FormerGrowth::NodeRemoved(TreeNode* parent, int /*row*/) {
  if (parent || store_.trimming_) return;
  store_.grown_.clear();
  store_.trimAll_ = true;
}

void FormerConnectionStore::TrimFiles() {
  if (trimAll_) {
    trimAll_ = false;
    grown_.clear();
    const ConnectionTree& tree = m_.TreeViewFormer;
    for (int i = 0; i < tree.TopLevelCount(); ++i) TrimUser(*tree.TopLevel(i));
    return;
  }
  std::unordered_set<TreeNode*> users;
  users.swap(grown_);
  for (TreeNode* user : users) TrimUser(*user);
}

void FormerConnectionStore::TrimUser(TreeNode& user) {
  std::size_t files = 0;
  for (int i = 0; i < user.ChildCount(); ++i) {
    files += static_cast<std::size_t>(user.Child(i)->ChildCount());
  }
  const auto bound = static_cast<std::size_t>(std::max(filesPerUser_, 1));
  if (files <= bound) return;
  // Open files are the current tree's too: only ended ones can go.
  std::vector<TreeNode*> ended;
  for (int i = 0; i < user.ChildCount(); ++i) {
    const TreeNode& share = *user.Child(i);
    for (int j = 0; j < share.ChildCount(); ++j) {
      TreeNode* file = share.Child(j);
      if (file->Data() && !file->Data()->IsOpen()) ended.push_back(file);
    }
  }
  const std::size_t drop = std::min(files - (bound - bound / 10), ended.size());
  if (drop == 0) return;
  std::stable_sort(ended.begin(), ended.end(), [](const TreeNode* a, const TreeNode* b) {
    return a->Data()->EnterTime < b->Data()->EnterTime;
  });
  trimming_ = true;
  for (std::size_t i = 0; i < drop; ++i) m_.TreeViewFormer.Delete(ended[i]);
  trimming_ = false;
  if (droppedFiles_ == 0) {
    m_.Messages().Information("The history keeps at most " + std::to_string(bound) +
                              " files per user: the oldest files of " + user.Text() +
                              " were dropped, as those of any user that opens more will be.");
  }
  droppedFiles_ += drop;
}

std::string FormerConnectionStore::TreeFilePath(const std::string& programDirectory) {
  return programDirectory + "/" + kTreeFileName;
}

void FormerConnectionStore::LoadFormerConnections() {
  lastWrite_ = m_.Steady();
  std::string data, error;
  switch (ReadDataFile(path_, data, error, sizeLimit_)) {
    case FileRead::kMissing:
      if (!WriteFileAtomically(path_, "", error, DataFileMode(path_))) m_.Messages().Error(error);
      return;
    case FileRead::kRefused: {
      keepOldFile_ = true;
      std::string why;
      if (!ReadNewestPart(data, why)) {
        m_.Messages().Error(error);
        return;
      }
      if (LoadRecords(data)) {
        m_.Messages().Information(
            error + ": its newest " + std::to_string(m_.FormerUserCount) +
            " users were read, and the whole file is kept beside the new one at the save.");
      }
      // The old file is kept even when it was read whole.
      keepOldFile_ = true;
      break;
    }
    case FileRead::kRead:
      LoadRecords(data);
      break;
  }
  TrimFiles();
  // What the file holds now needs no checkpoint.
  writtenChanges_ = changes_;
}

bool FormerConnectionStore::ReadNewestPart(std::string& data, std::string& error) {
  data.clear();
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  const auto size = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
                        ? static_cast<std::size_t>(st.st_size)
                        : std::size_t{0};
  // Only a file too large is read so, and only one of whole records: in
  // any other its records cannot be told apart from its end.
  if (size <= sizeLimit_ || size % NodeRecord::kSize != 0) {
    ::close(fd);
    error = "not a history too large";
    return false;
  }
  const std::size_t wanted = sizeLimit_ / NodeRecord::kSize * NodeRecord::kSize;
  data.resize(wanted);
  std::size_t got = 0;
  while (got < wanted) {
    const ssize_t n =
        ::pread(fd, data.data() + got, wanted - got, static_cast<off_t>(size - wanted + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got - got % NodeRecord::kSize);
  // From the first user on: shares and files before it belong to a user
  // that was left out.
  std::size_t first = 0;
  const std::size_t records = data.size() / NodeRecord::kSize;
  while (first < records && NodeRecord::DecodeLevel(Bytes(data, first)) != 0) ++first;
  data.erase(0, first * NodeRecord::kSize);
  return true;
}

bool FormerConnectionStore::LoadRecords(std::string_view data) {
  OwningConnectionTree& tree = m_.TreeViewFormer;
  m_.FormerUserCount = 0;
  const std::size_t records = data.size() / NodeRecord::kSize;
  // A short last record or an unknown level discards the whole file, so
  // both are looked for before anything is built.
  bool damaged = data.size() % NodeRecord::kSize != 0;
  for (std::size_t i = 0; i < records && !damaged; ++i) {
    const std::int32_t level = NodeRecord::DecodeLevel(Bytes(data, i));
    damaged = level < 0 || level > 2;
  }
  if (damaged) {
    DiscardDamaged();
    return false;
  }

  TreeNode* lastUser = nullptr;
  TreeNode* lastShare = nullptr;
  for (std::size_t i = 0; i < records; ++i) {
    const NodeRecord stored = NodeRecord::Decode(Bytes(data, i));
    switch (stored.Level) {
      case 0:
        lastUser = tree.AddOwned(nullptr, stored.Name, CreateFromNodeRecord(stored));
        tree.SetImages(lastUser, kImageUser);
        ++m_.FormerUserCount;
        break;
      case 1:
        // A share before any user goes to the top level.
        lastShare = tree.AddOwned(lastUser, stored.Name, CreateFromNodeRecord(stored));
        tree.SetImages(lastShare, stored.DiskShare ? kImageDiskShare : kImagePrintShare);
        break;
      default: {
        TreeNode* file = tree.AddOwned(lastShare, stored.Name, CreateFromNodeRecord(stored));
        tree.SetImages(file, m_.Icons().FileIconIndex(stored.Name));
        break;
      }
    }
  }
  // Nodes that were there before the load would make the count differ.
  if (static_cast<std::size_t>(tree.Count()) != records) {
    DiscardDamaged();
    return false;
  }
  return true;
}

void FormerConnectionStore::DiscardDamaged() {
  m_.TreeViewFormer.Clear();
  m_.FormerUserCount = 0;
  keepOldFile_ = true;
  m_.Messages().Error(kDamagedTreeMessage);
}

std::string FormerConnectionStore::EncodeTree(const ConnectionTree& tree, int firstUser,
                                              StoreProgress* progress, TDateTime endOpenAt) {
  std::string out(static_cast<std::size_t>(tree.Count()) * NodeRecord::kSize, '\0');
  std::size_t used = 0;
  for (int i = firstUser < 0 ? 0 : firstUser; i < tree.TopLevelCount(); ++i) {
    EncodeSubtree(*tree.TopLevel(i), 0, out, used, progress, endOpenAt);
  }
  out.resize(used);
  return out;
}

int FormerConnectionStore::FirstKeptUser() const {
  const int beyond = m_.FormerUserCount - m_.Options().Count;
  return beyond > 0 ? std::min(beyond, m_.TreeViewFormer.TopLevelCount()) : 0;
}

bool FormerConnectionStore::WriteTree(const std::string& data, bool tell) {
  std::string error;
  const bool written = (!keepOldFile_ || KeepOldCopy(error)) &&
                       WriteFileAtomically(path_, data, error, DataFileMode(path_));
  // The old file is kept once; later writes only replace the new one.
  if (written) keepOldFile_ = false;
  if (!written && tell) m_.Messages().Error(error);
  return written;
}

void FormerConnectionStore::Changed() {
  ++changes_;
}

bool FormerConnectionStore::CheckpointIfDue() {
  if (saved_) return false;
  TrimFiles();
  if (changes_ == writtenChanges_) return false;
  const double now = m_.Steady();
  if (now - lastWrite_ < kCheckpointSeconds) return false;
  lastWrite_ = now;
  const std::uint64_t changes = changes_;
  // A failing checkpoint is told once, and tried again a minute later; the
  // file keeps what it had.
  const bool written = WriteTree(EncodeTree(m_.TreeViewFormer, FirstKeptUser(), nullptr, m_.Now()),
                                 !checkpointFailed_);
  checkpointFailed_ = !written;
  if (written) writtenChanges_ = changes;
  return written;
}

bool FormerConnectionStore::SaveFormerConnections(StoreProgress* progress) {
  if (saved_) return saveResult_;
  saved_ = true;

  // Threads stop before any record is freed: a lookup must never publish
  // into a freed user.
  ClearSeenFlags(m_.Users);
  m_.SweepUsers(true);

  if (progress) progress->Start(m_.FormerUserCount);
  OwningConnectionTree& tree = m_.TreeViewFormer;
  // The oldest users beyond Count are dropped. The whole tree goes once the
  // file is written, so the dropped ones are only skipped here.
  // Count is read at every step: the progress steps let the user at it.
  int firstUser = 0;
  while (m_.Options().Count < m_.FormerUserCount && firstUser < tree.TopLevelCount()) {
    if (progress) progress->StepIt();
    ++firstUser;
    --m_.FormerUserCount;
  }
  const std::string data = EncodeTree(tree, firstUser, progress);
  tree.Clear();
  m_.FormerUserCount = 0;

  saveResult_ = WriteTree(data);
  if (progress) progress->Finish();
  return saveResult_;
}

bool FormerConnectionStore::KeepOldCopy(std::string& error) {
  struct stat st {};
  // Only a plain file is kept: a link, a FIFO or a device holds no history,
  // and the rename replaces the link itself, never what it points to.
  if (::lstat(path_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  for (int n = 1; n <= 1000; ++n) {
    std::string copy = path_ + ".damaged";
    if (n > 1) {
      copy += '.';
      copy += std::to_string(n);
    }
    // A second name for the old file; the new one then replaces only the
    // first name.
    if (::link(path_.c_str(), copy.c_str()) == 0) {
      keptCopyPath_ = copy;
      return true;
    }
    if (errno == EEXIST) continue;
    // No hard links on this file system: the old file moves instead.
    struct stat taken {};
    if (::lstat(copy.c_str(), &taken) == 0) continue;
    if (::rename(path_.c_str(), copy.c_str()) == 0) {
      keptCopyPath_ = copy;
      return true;
    }
    error = "Cannot keep " + path_ + " as " + copy + ": " + std::strerror(errno);
    return false;
  }
  error = "Cannot keep " + path_ + ": too many earlier copies beside it";
  return false;
}

}  // namespace qm
