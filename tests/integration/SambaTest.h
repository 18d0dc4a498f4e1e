// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "SambaTestServer.h"

namespace qm::test {

// A test with a private smbd of its own. Where one cannot run (not root,
// Samba missing) the test is skipped, except in CI (CI=true), where that
// is a failure: CI must exercise real Samba.
class SambaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = SambaTestServer::Unavailable();
    if (!missing.empty()) {
      const char* ci = std::getenv("CI");
      if (ci && std::string(ci) == "true") {
        FAIL() << "Real Samba tests cannot run in CI: " << missing;
      }
      GTEST_SKIP() << "Real Samba tests skipped: " << missing;
    }
    std::string why;
    ASSERT_TRUE(server.Start(why)) << why;
  }
  void TearDown() override { server.Stop(); }

  // Starts a client and fails the test when it cannot be started.
  SambaTestServer::ClientId Client(const std::string& name, const std::string& share,
                                   bool keepFileOpen = false) {
    const SambaTestServer::ClientId id = server.StartClient(name, share, keepFileOpen);
    EXPECT_GE(id, 0) << "smbclient could not be started";
    return id;
  }

  SambaTestServer server;
};

}  // namespace qm::test
