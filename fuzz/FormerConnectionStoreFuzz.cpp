// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The "Tree.dat" reader over any bytes: a file is either discarded whole or
// gives one node per record; what is written back reads back the same; the
// log lines of whatever was read stay one line each.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "core/Monitor.h"
#include "platform/InMemoryServerBackend.h"
#include "store/ConnectionLog.h"
#include "store/FormerConnectionStore.h"
#include "store/NodeRecord.h"

namespace {

struct World {
  World() : api(backend) { api.LoadServerApi(); }
  qm::InMemoryServerBackend backend;
  qm::ServerApi api;
  qm::Settings settings;
};

bool OneLine(const std::string& line) {
  return line.size() >= 2 && line.find('\n') == line.size() - 1 &&
         line.find('\r') == line.size() - 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  qm::Monitor monitor(world.api, world.settings, {});
  qm::FormerConnectionStore store(monitor, "/nonexistent/Tree.dat");
  const bool accepted = store.LoadRecords(bytes);
  qm::ConnectionTree& tree = monitor.TreeViewFormer;
  if (!accepted) {
    Check(tree.Empty() && monitor.FormerUserCount == 0);
    Check(size % qm::NodeRecord::kSize != 0 || size > 0);
    return 0;
  }
  Check(static_cast<std::size_t>(tree.Count()) * qm::NodeRecord::kSize == size);

  tree.ForEach([](qm::TreeNode& node) {
    const qm::TTreeNodeCustom* r = node.Data();
    Check(r && r->Name == node.Text() && r->Name.size() <= qm::NodeRecord::kMaxName);
    if (const auto* user = dynamic_cast<const qm::TUser*>(r)) {
      Check(OneLine(qm::UserLogLine(*user)));
    } else {
      Check(OneLine(qm::ShareLogLine(*r)) && OneLine(qm::FileLogLine(*r)));
    }
  });

  // Writing puts each node at its tree level, so a second round gives the
  // same bytes as the first.
  const std::string first = qm::FormerConnectionStore::EncodeTree(tree);
  Check(first.size() == size);
  qm::Monitor next(world.api, world.settings, {});
  qm::FormerConnectionStore reload(next, "/nonexistent/Tree.dat");
  Check(reload.LoadRecords(first));
  Check(qm::FormerConnectionStore::EncodeTree(next.TreeViewFormer) == first);
  return 0;
}
