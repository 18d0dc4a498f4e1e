// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "core/Resources.h"

#include <utility>

namespace qm {

std::string StatusText(int code) {
  switch (code & 0x7F) {
    case stKicked:
      return "Kicked";
    case stLoggedOff:
      return "Logged off";
    case stLoggedOn:
      return "Logged on";
    case stProgramStarted:
      return "Program started";
    case stProgramExited:
      return "Program exitted";
    default:
      return "";
  }
}

TTreeNodeCustom::TTreeNodeCustom(std::string name, bool programStarting, TDateTime now)
    : EnterTime(now),
      ExitTime(0),
      Name(std::move(name)),
      LastActivity(now),
      DiskShare(true),
      EnterStatus(programStarting ? stProgramStarted : stLoggedOn),
      ExitStatus(stLoggedOff) {}

TUser::TUser(std::string name, bool programStarting, TDateTime now, const std::string& userName,
             bool isNT)
    : TTreeNodeCustom(std::move(name), programStarting, now),
      UserName(isNT ? userName : std::string(kNotKnownYet)) {}

TUser::~TUser() {
  // A thread still owned here was never stopped by a sweep (an abnormal end);
  // let it go rather than block in a destructor.
  if (IPThread) {
    IPThread->Terminate();
    IPThread->WaitFor();
  }
}

}  // namespace qm
