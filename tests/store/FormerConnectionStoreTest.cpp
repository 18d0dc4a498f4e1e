// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/MonitorFixture.h"
#include "core/RefreshCycle.h"
#include "os/AtomicFile.h"
#include "store/FormerConnectionStore.h"
#include "store/NodeRecord.h"
#include "support/TempFolder.h"

namespace qm {
namespace {

using test::ReadText;
using test::RecordingMessages;
using test::RecordingView;
using test::TempFolder;
using test::WriteText;

constexpr const char* kDamaged =
    "error: Something is wrong with the input file, new file has been created";

class RecordingIcons : public FileIcons {
 public:
  int FileIconIndex(const std::string& path) override {
    asked.push_back(path);
    return 7;
  }
  std::vector<std::string> asked;
};

class RecordingProgress : public StoreProgress {
 public:
  void Start(int maximum) override { events.push_back("start " + std::to_string(maximum)); }
  void StepIt() override {
    ++steps;
    if (onStep) onStep(steps);
  }
  void Finish() override { events.push_back("finish after " + std::to_string(steps)); }
  std::vector<std::string> events;
  int steps = 0;
  std::function<void(int)> onStep;
};

std::string Record(int level, const std::string& name, bool diskShare = true) {
  NodeRecord r;
  r.Level = level;
  r.Name = name;
  r.DiskShare = diskShare;
  r.EnterTime = 45000.5;
  r.ExitTime = 45000.75;
  std::string bytes(NodeRecord::kSize, '\0');
  r.Encode(reinterpret_cast<unsigned char*>(bytes.data()));
  return bytes;
}

std::vector<NodeRecord> Decode(const std::string& data) {
  std::vector<NodeRecord> out;
  for (std::size_t at = 0; at + NodeRecord::kSize <= data.size(); at += NodeRecord::kSize) {
    out.push_back(NodeRecord::Decode(reinterpret_cast<const unsigned char*>(data.data() + at)));
  }
  return out;
}

std::vector<std::string> Names(const std::vector<NodeRecord>& records) {
  std::vector<std::string> names;
  for (const NodeRecord& r : records) names.push_back(std::to_string(r.Level) + ":" + r.Name);
  return names;
}

class FormerConnectionStoreTest : public ::testing::Test {
 protected:
  FormerConnectionStoreTest() : api(backend), monitor(api, settings, Ports()) {
    api.LoadServerApi();
  }
  MonitorPorts Ports() {
    MonitorPorts p;
    p.clock = &clock;
    p.messages = &messages;
    p.view = &view;
    p.icons = &icons;
    return p;
  }

  // A former user that has left, with shares of files.
  TreeNode* AddFormerUser(const std::string& name, int shares = 1, int filesPerShare = 1) {
    auto user = std::make_unique<TUser>(name, false, clock.Now(), "u-" + name, true);
    user->ExitTime = clock.Now() + 0.01;
    user->IPAddress = "127.0.0.1";
    user->HostName = "host-" + name;
    TreeNode* node = monitor.TreeViewFormer.AddOwned(nullptr, name, std::move(user));
    for (int s = 0; s < shares; ++s) {
      const std::string shareName = name + "-share" + std::to_string(s);
      TreeNode* share = monitor.TreeViewFormer.AddOwned(
          node, shareName, std::make_unique<TShare>(shareName, false, clock.Now()));
      for (int f = 0; f < filesPerShare; ++f) {
        const std::string path = "/srv/" + shareName + "/f" + std::to_string(f);
        monitor.TreeViewFormer.AddOwned(share, path,
                                        std::make_unique<TFile>(path, false, clock.Now()));
      }
    }
    ++monitor.FormerUserCount;
    return node;
  }

  std::vector<std::string> TopLevelNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < monitor.TreeViewFormer.TopLevelCount(); ++i) {
      names.push_back(monitor.TreeViewFormer.TopLevel(i)->Text());
    }
    return names;
  }

  TempFolder folder;
  std::string path = folder.File("Tree.dat");
  ManualClock clock{45000.5};
  RecordingView view;
  RecordingMessages messages;
  RecordingIcons icons;
  Settings settings;
  InMemoryServerBackend backend;
  ServerApi api;
  Monitor monitor;
  FormerConnectionStore store{monitor, path};
};

// ---------------- loading ----------------

TEST_F(FormerConnectionStoreTest, MissingFileIsCreatedEmptyWithoutAMessage) {
  store.LoadFormerConnections();
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(ReadText(path), "");
  EXPECT_TRUE(monitor.TreeViewFormer.Empty());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormerConnectionStoreTest, EmptyFileLoadsNothingAndSaysNothing) {
  WriteText(path, "");
  store.LoadFormerConnections();
  EXPECT_TRUE(monitor.TreeViewFormer.Empty());
  EXPECT_EQ(monitor.FormerUserCount, 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormerConnectionStoreTest, UserAndShareRecordsLoadAsOneUserWithItsShare) {
  const std::string data = Record(0, "PC1") + Record(1, "DOCS");
  ASSERT_EQ(data.size(), 784u);
  WriteText(path, data);
  store.LoadFormerConnections();
  ASSERT_EQ(monitor.TreeViewFormer.TopLevelCount(), 1);
  const TreeNode* user = monitor.TreeViewFormer.TopLevel(0);
  EXPECT_EQ(user->Text(), "PC1");
  EXPECT_TRUE(IsUser(user->Data()));
  ASSERT_EQ(user->ChildCount(), 1);
  EXPECT_EQ(user->Child(0)->Text(), "DOCS");
  EXPECT_TRUE(IsShare(user->Child(0)->Data()));
  EXPECT_EQ(monitor.FormerUserCount, 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormerConnectionStoreTest, LoadedNodesGetTheImagesOfTheirKind) {
  WriteText(path, Record(0, "PC1") + Record(1, "DOCS") + Record(2, "/srv/docs/a.odt") +
                      Record(1, "LASER", false));
  store.LoadFormerConnections();
  const TreeNode* user = monitor.TreeViewFormer.TopLevel(0);
  EXPECT_EQ(user->ImageIndex(), kImageUser);
  EXPECT_EQ(user->Child(0)->ImageIndex(), kImageDiskShare);
  EXPECT_EQ(user->Child(0)->Child(0)->ImageIndex(), 7);
  EXPECT_TRUE(IsFile(user->Child(0)->Child(0)->Data()));
  EXPECT_EQ(user->Child(1)->ImageIndex(), kImagePrintShare);
  EXPECT_EQ(icons.asked, std::vector<std::string>{"/srv/docs/a.odt"});
}

TEST_F(FormerConnectionStoreTest, BytesBeyondTheLastWholeRecordDiscardTheWholeFile) {
  const std::string data = Record(0, "PC1") + Record(1, "DOCS") + std::string(16, 'x');
  ASSERT_EQ(data.size(), 800u);
  WriteText(path, data);
  store.LoadFormerConnections();
  EXPECT_TRUE(monitor.TreeViewFormer.Empty());
  EXPECT_EQ(monitor.FormerUserCount, 0);
  EXPECT_EQ(messages.shown, std::vector<std::string>{kDamaged});
}

TEST_F(FormerConnectionStoreTest, UnknownLevelDiscardsTheRecordsBeforeItToo) {
  for (int level : {3, -1, 256}) {
    messages.shown.clear();
    WriteText(path, Record(0, "PC1") + Record(1, "DOCS") + Record(level, "odd") + Record(0, "PC2"));
    FormerConnectionStore fresh(monitor, path);
    fresh.LoadFormerConnections();
    EXPECT_TRUE(monitor.TreeViewFormer.Empty()) << level;
    EXPECT_EQ(monitor.FormerUserCount, 0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{kDamaged});
  }
}

TEST_F(FormerConnectionStoreTest, RecordsWithoutAParentGoToTheTopLevel) {
  WriteText(path, Record(2, "/orphan") + Record(1, "DOCS") + Record(2, "/srv/docs/a") +
                      Record(0, "PC1") + Record(2, "/srv/docs/b"));
  store.LoadFormerConnections();
  EXPECT_TRUE(messages.shown.empty()) << "the node count still matches";
  EXPECT_EQ(TopLevelNames(), (std::vector<std::string>{"/orphan", "DOCS", "PC1"}));
  EXPECT_EQ(monitor.FormerUserCount, 1);
  // A file follows the last share read, even one read before its user.
  const TreeNode* docs = monitor.TreeViewFormer.TopLevel(1);
  ASSERT_EQ(docs->ChildCount(), 2);
  EXPECT_EQ(docs->Child(1)->Text(), "/srv/docs/b");
  EXPECT_EQ(monitor.TreeViewFormer.TopLevel(2)->ChildCount(), 0);
  // Saved back, each record keeps its kind.
  ASSERT_TRUE(store.SaveFormerConnections(nullptr));
  EXPECT_EQ(
      Names(Decode(ReadText(path))),
      (std::vector<std::string>{"2:/orphan", "1:DOCS", "2:/srv/docs/a", "2:/srv/docs/b", "0:PC1"}));
}

TEST_F(FormerConnectionStoreTest, FileThatCannotBeReadIsReportedAndNeverReplaced) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);  // a folder where the file should be
  store.LoadFormerConnections();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find(path), std::string::npos) << messages.shown[0];
  EXPECT_TRUE(monitor.TreeViewFormer.Empty());

  AddFormerUser("PC1");
  EXPECT_FALSE(store.SaveFormerConnections());
  EXPECT_EQ(messages.shown.size(), 2u);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// ---------------- saving ----------------

TEST_F(FormerConnectionStoreTest, DamagedFileIsKeptBesideTheNewOne) {
  const std::string damaged = Record(0, "OLD") + std::string(16, 'x');
  WriteText(path, damaged);
  store.LoadFormerConnections();
  AddFormerUser("PC1", 0, 0);
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_EQ(store.KeptCopyPath(), path + ".damaged");
  EXPECT_EQ(ReadText(path + ".damaged"), damaged);
  EXPECT_EQ(Names(Decode(ReadText(path))), std::vector<std::string>{"0:PC1"});
}

TEST_F(FormerConnectionStoreTest, EarlierDamagedCopyIsNotOverwritten) {
  WriteText(path + ".damaged", "first");
  WriteText(path, "second");
  store.LoadFormerConnections();
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_EQ(ReadText(path + ".damaged"), "first");
  EXPECT_EQ(ReadText(path + ".damaged.2"), "second");
  EXPECT_EQ(ReadText(path), "");
}

// ---------------- bounds ----------------

TEST_F(FormerConnectionStoreTest, AHistoryOverTheSizeLimitLoadsItsNewestWholeUsers) {
  std::string data;
  for (const char* name : {"U1", "U2", "U3"}) {
    data += Record(0, name) + Record(1, "DOCS") + Record(2, std::string("/srv/") + name);
  }
  WriteText(path, data);
  store.SetSizeLimit(5 * NodeRecord::kSize);
  store.LoadFormerConnections();
  EXPECT_EQ(TopLevelNames(), std::vector<std::string>{"U3"}) << "U2 only in part: left out";
  EXPECT_EQ(monitor.TreeViewFormer.Count(), 3);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("its newest 1 users were read"), std::string::npos);
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_EQ(ReadText(store.KeptCopyPath()), data) << "the whole file is kept";
}

TEST_F(FormerConnectionStoreTest, AUserBeyondTheFileBoundLosesItsOldestEndedFilesToldOnce) {
  store.SetFilesPerUser(10);
  for (const char* name : {"U1", "U2"}) {
    TreeNode* user = AddFormerUser(name, 2, 6);
    // Newest first in the tree, and the very oldest still open.
    for (int s = 0, age = 0; s < 2; ++s) {
      for (int f = 0; f < 6; ++f, ++age) {
        TTreeNodeCustom& file = *user->Child(s)->Child(f)->Data();
        file.EnterTime = 45000.0 - age;
        file.ExitTime = age == 11 ? 0 : 45000.0;
      }
    }
  }
  store.CheckpointIfDue();
  for (int u = 0; u < 2; ++u) {
    const TreeNode* user = monitor.TreeViewFormer.TopLevel(u);
    EXPECT_EQ(user->Child(0)->ChildCount(), 6);
    ASSERT_EQ(user->Child(1)->ChildCount(), 3) << "down to nine tenths, oldest ended first";
    EXPECT_EQ(user->Child(1)->Child(2)->Text(), "/srv/" + user->Text() + "-share1/f5");
  }
  EXPECT_EQ(store.DroppedFiles(), 6u);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("at most 10 files per user"), std::string::npos);
}

TEST_F(FormerConnectionStoreTest, SaveKeepsTheNewestUsersUpToCount) {
  settings.Count = 2;
  for (const char* name : {"U1", "U2", "U3", "U4", "U5"}) AddFormerUser(name);
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_EQ(Names(Decode(ReadText(path))),
            (std::vector<std::string>{"0:U4", "1:U4-share0", "2:/srv/U4-share0/f0", "0:U5",
                                      "1:U5-share0", "2:/srv/U5-share0/f0"}));
  EXPECT_TRUE(monitor.TreeViewFormer.Empty()) << "no record outlives the save";
  EXPECT_EQ(monitor.FormerUserCount, 0);
}

TEST_F(FormerConnectionStoreTest, CountZeroWritesAnEmptyFile) {
  settings.Count = 0;
  WriteText(path, Record(0, "OLD"));
  AddFormerUser("U1");
  AddFormerUser("U2");
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(ReadText(path), "");
}

TEST_F(FormerConnectionStoreTest, CountIsReadAnewAtEveryStepOfTheTrim) {
  settings.Count = 0;
  for (const char* name : {"U1", "U2", "U3", "U4", "U5"}) AddFormerUser(name, 0, 0);
  RecordingProgress progress;
  progress.onStep = [&](int step) {
    if (step == 2) settings.Count = 3;
  };
  ASSERT_TRUE(store.SaveFormerConnections(&progress));
  EXPECT_EQ(Names(Decode(ReadText(path))), (std::vector<std::string>{"0:U3", "0:U4", "0:U5"}));
}

TEST_F(FormerConnectionStoreTest, ProgressStepsOncePerFormerUserDroppedOrWritten) {
  settings.Count = 3;
  for (const char* name : {"U1", "U2", "U3", "U4", "U5"}) AddFormerUser(name, 2, 3);
  RecordingProgress progress;
  ASSERT_TRUE(store.SaveFormerConnections(&progress));
  EXPECT_EQ(progress.events, (std::vector<std::string>{"start 5", "finish after 5"}));
}

// On disk a minute after a change (open connections as ended then), not before.
TEST_F(FormerConnectionStoreTest, HistoryIsCheckpointedAMinuteAfterAChange) {
  store.LoadFormerConnections();
  backend.tables.shares = {{"DOCS", "/srv/docs", 0}};
  backend.tables.connections.push_back({"DOCS", "PC9", "bob", "10.0.0.9"});
  RefreshCycle cycle(monitor);
  cycle.RefreshTimerTimer();
  clock.AdvanceSeconds(59);
  EXPECT_FALSE(store.CheckpointIfDue());
  clock.AdvanceSeconds(1);
  ASSERT_TRUE(store.CheckpointIfDue());
  const std::vector<NodeRecord> written = Decode(ReadText(path));
  EXPECT_EQ(Names(written), (std::vector<std::string>{"0:PC9", "1:DOCS"}));
  EXPECT_EQ(written[0].ExitStatus, stProgramExited);
  EXPECT_EQ(written[0].IPAddress, "10.0.0.9");
  EXPECT_TRUE(monitor.TreeViewFormer.TopLevel(0)->Data()->IsOpen());
  clock.AdvanceSeconds(600);
  EXPECT_FALSE(store.CheckpointIfDue());
  backend.tables.connections.clear();
  cycle.RefreshTimerTimer();
  ASSERT_TRUE(store.CheckpointIfDue());
  EXPECT_EQ(Decode(ReadText(path))[0].ExitStatus, stLoggedOff);
}

TEST_F(FormerConnectionStoreTest, ConnectionStillOpenAtExitIsWrittenAsProgramExitted) {
  backend.tables.shares = {{"DOCS", "/srv/docs", 0}};
  backend.tables.connections.push_back({"DOCS", "PC9", "bob"});
  backend.tables.sessions.push_back({"PC9", "bob", 0, "127.0.0.1"});
  backend.tables.files.push_back({"DOCS", "PC9", "bob", "/srv/docs/report.odt"});
  RefreshCycle cycle(monitor);
  cycle.RefreshTimerTimer();
  ASSERT_EQ(monitor.CurrentUserCount, 1);
  clock.AdvanceSeconds(3600);
  const TDateTime exitMoment = clock.Now();

  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_TRUE(monitor.Users.empty());
  EXPECT_TRUE(monitor.TreeViewCurrent.Empty());
  const std::vector<NodeRecord> saved = Decode(ReadText(path));
  ASSERT_EQ(Names(saved), (std::vector<std::string>{"0:PC9", "1:DOCS", "2:/srv/docs/report.odt"}));
  for (const NodeRecord& r : saved) {
    EXPECT_EQ(r.ExitTime, exitMoment) << r.Name;
    EXPECT_EQ(r.ExitStatus, stProgramExited) << r.Name;
    EXPECT_EQ(r.EnterStatus, stProgramStarted) << r.Name;
  }
  EXPECT_EQ(saved[0].UserName, "bob");
  EXPECT_EQ(saved[0].IPAddress, "Not known") << "a lookup that never ended gives up";
}

TEST_F(FormerConnectionStoreTest, SaveHappensOncePerRun) {
  WriteText(path, Record(0, "PC0"));
  store.LoadFormerConnections();
  AddFormerUser("PC1");
  ASSERT_TRUE(store.SaveFormerConnections());
  EXPECT_FALSE(FileExists(path + ".damaged")) << "a sound file is replaced without a copy";
  WriteText(path, "written by hand");
  EXPECT_TRUE(store.SaveFormerConnections());
  EXPECT_EQ(ReadText(path), "written by hand");
}

TEST_F(FormerConnectionStoreTest, FailedSaveIsReported) {
  FormerConnectionStore elsewhere(monitor, folder.File("gone/Tree.dat"));
  AddFormerUser("PC1");
  EXPECT_FALSE(elsewhere.SaveFormerConnections());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("gone/Tree.dat"), std::string::npos) << messages.shown[0];
  EXPECT_FALSE(elsewhere.SaveFormerConnections()) << "the second call gives the first's result";
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(FormerConnectionStoreTest, SavedHistoryLoadsBackTheSame) {
  TreeNode* user = AddFormerUser("PC-Ünï", 1, 2);
  auto* u = static_cast<TUser*>(user->Data());
  u->EnterStatus = stLoggedOn;
  u->ExitStatus = stKicked;
  u->UserName = "Not known";
  TreeNode* laser = monitor.TreeViewFormer.AddOwned(
      user, "LASER", std::make_unique<TShare>("LASER", true, clock.Now()));
  laser->Data()->DiskShare = false;
  AddFormerUser("PC2", 0, 0);
  std::vector<std::string> before;
  monitor.TreeViewFormer.ForEach(
      [&](TreeNode& n) { before.push_back(std::to_string(n.Level()) + ":" + n.Text()); });
  ASSERT_TRUE(store.SaveFormerConnections());

  Settings otherSettings;
  Monitor next(api, otherSettings, Ports());
  FormerConnectionStore reload(next, path);
  reload.LoadFormerConnections();
  EXPECT_TRUE(messages.shown.empty());
  std::vector<std::string> after;
  next.TreeViewFormer.ForEach(
      [&](TreeNode& n) { after.push_back(std::to_string(n.Level()) + ":" + n.Text()); });
  EXPECT_EQ(after, before);
  EXPECT_EQ(next.FormerUserCount, 2);
  const auto* loaded = static_cast<const TUser*>(next.TreeViewFormer.TopLevel(0)->Data());
  EXPECT_EQ(loaded->Name, "PC-Ünï");
  EXPECT_EQ(loaded->UserName, "Not known");
  EXPECT_EQ(loaded->IPAddress, "127.0.0.1");
  EXPECT_EQ(loaded->HostName, "host-PC-Ünï");
  EXPECT_EQ(loaded->EnterTime, 45000.5);
  EXPECT_EQ(loaded->ExitTime, 45000.5 + 0.01);
  EXPECT_EQ(loaded->EnterStatus, stLoggedOn);
  EXPECT_EQ(loaded->ExitStatus, stKicked);
  const TreeNode* loadedLaser = next.TreeViewFormer.TopLevel(0)->Child(1);
  EXPECT_FALSE(loadedLaser->Data()->DiskShare);
  EXPECT_EQ(loadedLaser->Data()->EnterStatus, stProgramStarted);
}

}  // namespace
}  // namespace qm
