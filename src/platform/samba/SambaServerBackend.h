// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/TableServerBackend.h"
#include "platform/samba/SambaOptions.h"
#include "platform/samba/SambaReader.h"
#include "platform/samba/SambaReadingSchedule.h"
#include "platform/samba/SambaSessionEnder.h"
#include "platform/samba/SambaTools.h"

namespace qm {

// The real Samba server of this computer, NT family. One `smbstatus --json`
// run serves every enumeration of a tick (SambaReader); the readings are
// scheduled by SambaReadingSchedule and sessions ended by
// SambaSessionEnder, all running Samba's tools through SambaTools, which a
// stop cancels.
class SambaServerBackend final : public TableServerBackend {
 public:
  using Options = SambaOptions;
  static constexpr const char* kElevationGroup = SambaTools::kElevationGroup;

  // QUILLMOOR98_SMB_CONF and QUILLMOOR98_SAMBA_ELEVATE (see
  // SambaTools::ElevationFor); elevated with Samba's own smb.conf, sessions
  // end through the installed helper (or the one beside the program).
  static Options OptionsFromEnvironment();

  explicit SambaServerBackend(Options options);
  ~SambaServerBackend() override;

  bool Load(std::string& why) override;
  // Cancels whatever tool runs and ends the worker.
  void Unload() override;
  void SetReadAhead(bool on) override;
  void SetDeletionsWait(bool on) override;
  std::string DeletionFailure() const override;
  bool StartReading() override;
  bool ReadingComplete() override;
  std::vector<std::string> TakeNotices() override;

  // Why the last reading failed, in one line ("" after a success).
  std::string LastFailure() const;

 protected:
  NetStatus ReadForShares(ServerTables& tables) override;
  NetStatus ReadForSessions(ServerTables& tables) override;
  bool SharesUnchanged(const ServerTables& current) override;
  NetStatus DeleteClientSessions(const std::string& client, const std::string& address,
                                 const std::uint32_t* key) override;

 private:
  Options options_;
  SambaTools tools_;
  SambaReader reader_;
  SambaSessionEnder ender_;
  SambaReadingSchedule schedule_;
};

}  // namespace qm
