// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include <map>

#include "EnforceFixture.h"
#include "enforce/DisconnectStatus.h"

namespace qm::test {
namespace {

class CountingObserver final : public DisconnectStatusObserver {
 public:
  void WhoToKickChanged(KickStatus value) override { seen.push_back(value); }
  std::vector<KickStatus> seen;
};

// A settings file as the caller offers it: [section]key -> text, read as
// an integer with a default the way the settings file's reader does.
struct FakeSettings {
  std::map<std::string, int> values;
  ReadIntegerFunction Reader() {
    return [this](const std::string& section, const std::string& key, int def) {
      auto it = values.find(section + "/" + key);
      return it == values.end() ? def : it->second;
    };
  }
  WriteIntegerFunction Writer() {
    return [this](const std::string& section, const std::string& key, int value) {
      values[section + "/" + key] = value;
    };
  }
};

TEST(DisconnectStatus, StatusBarFollowsEveryChange) {
  EnforceWorld w;
  EXPECT_EQ(w.view.status[0], "Disconnect status: Disconnect nobody");
  w.rules.Status().SetWhoToKick(KickList);
  EXPECT_EQ(w.view.status[0], "Disconnect status: Disconnect list");
  w.rules.Status().SetWhoToKick(KickAll);
  EXPECT_EQ(w.view.status[0], "Disconnect status: Disconnect all");
  EXPECT_EQ(w.rules.WhoToKick(), KickAll);
}

TEST(DisconnectStatus, ObserversAreToldOnlyOfRealChanges) {
  DisconnectStatus status;
  CountingObserver a, b;
  status.AddObserver(&a);
  status.AddObserver(&b);
  status.SetWhoToKick(KickNobody);
  status.SetWhoToKick(KickList);
  status.SetWhoToKick(KickList);
  status.RemoveObserver(&b);
  status.SetWhoToKick(KickAll);
  EXPECT_EQ(a.seen, (std::vector<KickStatus>{KickNobody, KickList, KickAll}));
  EXPECT_EQ(b.seen, (std::vector<KickStatus>{KickNobody, KickList}));
  EXPECT_EQ(status.WhoToKick(), KickAll);
}

TEST(DisconnectStatus, LoadWithoutSettingsGivesNobodyAndTellsViews) {
  DisconnectStatus status;
  CountingObserver o;
  status.AddObserver(&o);
  FakeSettings settings;
  status.Load(settings.Reader());
  EXPECT_EQ(status.WhoToKick(), KickNobody);
  EXPECT_EQ(o.seen, (std::vector<KickStatus>{KickNobody, KickNobody}));
}

TEST(DisconnectStatus, EveryCodeSurvivesSaveAndLoad) {
  for (KickStatus code : {KickNobody, KickList, KickAll}) {
    DisconnectStatus before;
    before.SetWhoToKick(code);
    FakeSettings settings;
    before.Save(settings.Writer());
    EXPECT_EQ(settings.values.at("Kick/WhoToKick"), code);
    DisconnectStatus after;
    after.Load(settings.Reader());
    EXPECT_EQ(after.WhoToKick(), code);
  }
}

TEST(DisconnectStatus, OutOfRangeCodesGiveNobody) {
  for (int code : {-1, 3, 1000}) {
    DisconnectStatus status;
    status.SetWhoToKick(KickAll);
    FakeSettings settings;
    settings.values["Kick/WhoToKick"] = code;
    status.Load(settings.Reader());
    EXPECT_EQ(status.WhoToKick(), KickNobody) << code;
  }
}

TEST(DisconnectStatus, ForcedStatusIsWhatShutdownSaves) {
  EnforceWorld w;
  w.settings.Quake = true;
  w.rules.Programs().Add("/OPT/GAME");
  w.processes.Run(10, "/opt/game");
  w.rules.Status().SetWhoToKick(KickList);
  w.Tick();
  FakeSettings settings;
  w.rules.Status().Save(settings.Writer());
  EXPECT_EQ(settings.values.at("Kick/WhoToKick"), KickAll);
}

}  // namespace
}  // namespace qm::test
