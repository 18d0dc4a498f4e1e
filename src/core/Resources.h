// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/DateTime.h"
#include "core/SessionSecurity.h"

namespace qm {

// How a connection began or ended. Stored as one byte in "Tree.dat".
enum ConnectionStatus : std::uint8_t {
  stKicked = 0,
  stLoggedOff = 1,
  stLoggedOn = 2,
  stProgramStarted = 3,
  stProgramExited = 4,
};

// Only the low 7 bits count; anything else than the five codes gives "".
std::string StatusText(int code);

inline constexpr const char* kNotKnownYet = "Not known yet";
inline constexpr const char* kNotKnown = "Not known";

// A background lookup working for one user; the sweep stops it.
class LookupThread {
 public:
  virtual ~LookupThread() = default;
  virtual void Terminate() = 0;  // a request only
  virtual void WaitFor() = 0;    // returns when the thread has ended
};

// The record of one connection: a client computer, a share or an open file.
class TTreeNodeCustom {
 public:
  TTreeNodeCustom(std::string name, bool programStarting, TDateTime now);
  TTreeNodeCustom() = default;
  virtual ~TTreeNodeCustom() = default;
  TTreeNodeCustom(const TTreeNodeCustom&) = delete;
  TTreeNodeCustom& operator=(const TTreeNodeCustom&) = delete;

  TDateTime EnterTime = 0;
  TDateTime ExitTime = 0;
  std::string Name;
  TDateTime LastActivity = 0;
  double LastActivitySteady = 0;  // the same moment on the steady clock
  bool DiskShare = true;
  std::uint8_t EnterStatus = stLoggedOn;
  std::uint8_t ExitStatus = stLoggedOff;

  bool IsOpen() const { return ExitTime == 0; }
};

class TShare final : public TTreeNodeCustom {
 public:
  using TTreeNodeCustom::TTreeNodeCustom;
};

class TFile final : public TTreeNodeCustom {
 public:
  using TTreeNodeCustom::TTreeNodeCustom;
};

class TUser final : public TTreeNodeCustom {
 public:
  // userName: the connection's user name on the NT family; ignored on 95/98,
  // where it starts as "Not known yet" and the lookup learns it.
  TUser(std::string name, bool programStarting, TDateTime now, const std::string& userName,
        bool isNT);
  TUser() = default;
  // Does not stop IPThread: the sweep does (the user outlives its thread).
  ~TUser() override;

  std::string UserName = kNotKnownYet;
  std::string IPAddress = kNotKnownYet;
  std::string HostName = kNotKnownYet;
  // While connected: the address the server recorded for the client, which
  // with Name tells this client from another of the same name; "" when the
  // server does not tell. Not stored.
  std::string ClientAddress;
  // As the server told at the last tick that saw the user (kept after the
  // user left).
  SessionSecurity Security;
  std::unique_ptr<LookupThread> IPThread;
};

inline bool IsUser(const TTreeNodeCustom* r) {
  return dynamic_cast<const TUser*>(r) != nullptr;
}
inline bool IsFile(const TTreeNodeCustom* r) {
  return dynamic_cast<const TFile*>(r) != nullptr;
}
inline bool IsShare(const TTreeNodeCustom* r) {
  return dynamic_cast<const TShare*>(r) != nullptr;
}

// Image indices of the tree image list.
enum TreeImage : int { kImageUser = 0, kImageDiskShare = 1, kImagePrintShare = 2, kImageFile = 3 };

}  // namespace qm
