// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

// Stand-ins for Samba's tools (small scripts that log their calls) and a
// process named smbd with its pid file, so every path of a reading runs
// without root and without Samba.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "os/AtomicFile.h"
#include "os/ProcessRunner.h"
#include "platform/samba/SambaServerBackend.h"

namespace qm::test {

class StandInSambaTest : public ::testing::Test {
 protected:
  // A fresh folder with pid/smbd.pid naming a running stand-in smbd, and
  // the backend's options pointing at the stand-in tools.
  void SetUpStandIns(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/pid");
    std::filesystem::copy_file("/bin/sleep", dir_ + "/smbd");
    StartSmbd();
    options_.testparm = dir_ + "/testparm";
    options_.smbstatus = dir_ + "/smbstatus";
    options_.smbcontrol = dir_ + "/smbcontrol";
  }
  void TearDown() override {
    if (smbd_ > 0) ProcessRunner::KillAndReap(smbd_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  void StartSmbd() {
    std::string why;
    smbd_ = ProcessRunner::Spawn({dir_ + "/smbd", "60"}, -1, -1, -1, why);
    ASSERT_GT(smbd_, 0) << why;
    Write("pid/smbd.pid", std::to_string(smbd_) + "\n");
  }
  void Write(const std::string& name, const std::string& text) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir_ + "/" + name, text, error)) << error;
  }
  // A stand-in that logs its arguments, then does what body says.
  void Tool(const std::string& name, const std::string& body) {
    Write(name,
          "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + dir_ + "/" + name + ".calls\n" + body + "\n");
    ::chmod((dir_ + "/" + name).c_str(), 0755);
  }
  // The argument lines a stand-in was called with, in order.
  std::vector<std::string> Calls(const std::string& name) {
    std::string text, error;
    ReadWholeFile(dir_ + "/" + name + ".calls", text, error);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      lines.push_back(text.substr(at, end - at));
    }
    return lines;
  }

  std::string dir_;
  pid_t smbd_ = -1;
  SambaServerBackend::Options options_;
};

}  // namespace qm::test
