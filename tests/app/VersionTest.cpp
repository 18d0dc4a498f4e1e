// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// One version everywhere: the program says the project's, as the packages
// and the manual pages carry it.
#include <gtest/gtest.h>

#include <string>

#include "os/ProcessRunner.h"

namespace qm {
namespace {

TEST(Version, IsTheProjectsVersion) {
  const ProcessResult r =
      ProcessRunner::Run({std::string(QM_BIN_DIR) + "/quillmoor98", "--version"});
  ASSERT_TRUE(r.Succeeded()) << r.err;
  EXPECT_EQ(r.out, std::string("Quillmoor 98 ") + QM_PROJECT_VERSION + "\n");
}

}  // namespace
}  // namespace qm
