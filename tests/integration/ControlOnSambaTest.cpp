// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98 ctl against the console on a private smbd: a real client
// shows in the users and the command line disconnects it.
#include <stdlib.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "SambaTest.h"
#include "core/Text.h"
#include "observe/integration/ConsoleChild.h"

namespace qm::test {
namespace {

class ControlOnSambaTest : public SambaTest {
 protected:
  ProcessResult Ctl(const std::vector<std::string>& args) { return RunCtl(socket, args); }

  // The client whose name the tree shows for the NetBIOS name, or "".
  std::string CurrentClient(const std::string& netbiosName) {
    const ProcessResult r = Ctl({"users", "--json"});
    const auto users = nlohmann::json::parse(r.out, nullptr, false);
    if (users.is_discarded()) return "";
    for (const auto& u : users["users"]) {
      const std::string client = u["client"];
      // Samba reports the NetBIOS name as the client sent it, or in lower case.
      if (AsciiUpper(client).find(netbiosName) != std::string::npos && u["exit_status"].is_null()) {
        return client;
      }
    }
    return "";
  }

  ConsoleChild console;
  const std::string socket = console.Dir() + "/control";
};

TEST_F(ControlOnSambaTest, CommandLineSeesAndDisconnectsARealClient) {
  ::setenv("QUILLMOOR98_SMB_CONF", server.ConfPath().c_str(), 1);
  ::setenv("QUILLMOOR98_SAMBA_ELEVATE", "", 1);
  console.Start({"--control", socket}, "samba");

  const auto stays = Client("STAYS", server.DiskShare());
  const auto goes = Client("GOES", server.DiskShare(), true);
  std::string goesClient;
  ASSERT_TRUE(SambaTestServer::WaitUntil(
      [&] {
        return !(goesClient = CurrentClient("GOES")).empty() && !CurrentClient("STAYS").empty();
      },
      std::chrono::seconds(30)))
      << Ctl({"users"}).out;

  const ProcessResult done = Ctl({"disconnect", goesClient});
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_TRUE(SambaTestServer::WaitUntil([&] { return CurrentClient("GOES").empty(); },
                                         std::chrono::seconds(30)));
  EXPECT_TRUE(SambaTestServer::WaitUntil([&] { return !server.ClientRunning(goes); }))
      << "the smbclient whose session ended stops";
  EXPECT_TRUE(server.ClientRunning(stays));
  EXPECT_FALSE(CurrentClient("STAYS").empty()) << "nobody else is disconnected";

  const auto history = nlohmann::json::parse(Ctl({"history", "--json"}).out);
  bool kicked = false;
  for (const auto& v : history["visits"])
    kicked |= v["client"] == goesClient && v["exit_status"] == "kicked";
  EXPECT_TRUE(kicked) << history.dump();
}

}  // namespace
}  // namespace qm::test
