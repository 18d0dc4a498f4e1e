// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include "core/Ports.h"
#include "core/StoreProgress.h"
#include "core/WindowBounds.h"

namespace qm {

// What the running program needs of a front end (the desktop program or the
// console) besides the monitor's view: windows, the refresh timer, the
// notification area. Defaults suit a front end without windows.
class FrontEnd : public MonitorView {
 public:
  // Main window bounds: applied at start-up, read back at shutdown.
  virtual void ApplyMainWindowBounds(const WindowBounds& bounds) { mainBounds_ = bounds; }
  virtual WindowBounds MainWindowBounds() const { return mainBounds_; }
  // The Disconnect List dialog's bounds.
  virtual void ApplyKickListBounds(const WindowBounds& bounds) { kickListBounds_ = bounds; }
  virtual WindowBounds KickListBounds() const { return kickListBounds_; }
  // The refresh timer: its interval (milliseconds) and starting it.
  virtual void SetRefreshInterval(int /*milliseconds*/) {}
  // A dialog that edits the settings or the lists is open: what the user
  // types there is not to be changed under them.
  virtual bool EditingFiles() const { return false; }
  virtual void StartRefreshTimer() {}
  // The View menu's two check items. Without windows they are kept as
  // read, so that the shared settings file keeps the desktop's choice.
  virtual void ShowToolbar(bool shown) { toolbarShown_ = shown; }
  virtual void ShowStatusbar(bool shown) { statusbarShown_ = shown; }
  virtual bool ToolbarShown() const { return toolbarShown_; }
  virtual bool StatusbarShown() const { return statusbarShown_; }
  // First activation: hide into the notification area, the tray icon on.
  virtual void EnterNotificationArea() {}
  // Brings the main window back to its normal state before its bounds are
  // saved.
  virtual void RestoreWindowState() {}
  // The status bar's progress bar while the history is written.
  virtual StoreProgress* Progress() { return nullptr; }
  // Called from a lookup thread (any thread): steps wait for the
  // user-interface thread, which is to call Application::RunPendingSteps.
  virtual void WakeUpForSteps() {}

 private:
  WindowBounds mainBounds_ = kMainWindowDefaultBounds;
  WindowBounds kickListBounds_ = kKickListDefaultBounds;
  bool toolbarShown_ = true;
  bool statusbarShown_ = true;
};

}  // namespace qm
