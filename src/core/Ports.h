// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Resources.h"

namespace qm {

// Modal message boxes with the program's exact texts. Every box has one OK
// button except Confirm (Yes/No). Prompt: a text-entry box; Cancel gives "".
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Information(const std::string& text) = 0;
  virtual void Error(const std::string& text) = 0;
  virtual bool Confirm(const std::string& text) = 0;
  virtual std::string Prompt(const std::string& caption, const std::string& prompt) = 0;
  // The entry, or nothing when the box was cancelled. Boxes that cannot be
  // cancelled answer with Prompt's entry.
  virtual std::optional<std::string> PromptOrCancel(const std::string& caption,
                                                    const std::string& prompt) {
    return Prompt(caption, prompt);
  }
};

// The value labels of the two information panels.
enum InfoLabel : int {
  EnTiCuLabel,
  EnDaCuLabel,
  CoCuLabel,
  IdCuLabel,
  IPCuLabel,
  IPTextCuLabel,
  UserNameCuLabel,
  EnTiFoLabel,
  EnDaFoLabel,
  EnStFoLabel,
  ExTiFoLabel,
  ExDaFoLabel,
  ExStFoLabel,
  CoTiFoLabel,
  IPFormerLabel,
  IPTextFoLabel,
  UserNameFoLabel,
  kInfoLabelCount
};

// What the monitor shows and the front end provides: the main window, its
// tray icon and the application around it. Defaults do nothing, so a front
// end overrides only what it has.
class MonitorView {
 public:
  virtual ~MonitorView() = default;
  // The main window is shown ("Mi&nimize" enabled).
  virtual bool WindowShown() const { return false; }
  // The "Current Connections" page is the active one.
  virtual bool CurrentPageActive() const { return true; }
  virtual void SetCaption(const std::string& /*text*/) {}  // and the application title
  virtual void SetApplicationHint(const std::string& /*text*/) {}
  virtual void SetTrayTooltip(const std::string& /*text*/) {}
  virtual void SetStatusText(int /*panel*/, const std::string& /*text*/) {}
  virtual void InfoLabelChanged(InfoLabel /*label*/, const std::string& /*text*/) {}
  // The connected (true) or idle picture on tray, window and application.
  virtual void UpdateConnectedIcon(bool /*connected*/) {}
  // A new user arrived and "Popup window on new connection" is on.
  virtual void PopupOnNewConnection() {}
  // A desktop notification naming a new client and its share.
  virtual void NotifyNewConnection(const std::string& /*client*/, const std::string& /*share*/) {}
  // The built-in siren or the custom sound, without waiting.
  virtual void PlayAlertSound() {}
  // Something the user is to know about the server, said once (its state
  // cannot be read, or can again; its configuration has an error): a line
  // on the console, a message in the status bar.
  virtual void ServerNotice(const std::string& /*text*/) {}
  virtual void StopRefreshTimer() {}
  // Termination takes effect when the current tick has returned.
  virtual void RequestTerminate() {}
  // The program is asked to end (a signal came): a tick checks it between
  // connections and leaves the rest of its work undone, as a reading that
  // failed, so that the stop is answered however much a tick has to do.
  virtual bool StopRequested() const { return false; }
};

// The image of an open file in the trees; 3 is the generic file image.
class FileIcons {
 public:
  virtual ~FileIcons() = default;
  virtual int FileIconIndex(const std::string& /*path*/) { return kImageFile; }
};

// Starts the background address lookup of a new user.
class LookupStarter {
 public:
  virtual ~LookupStarter() = default;
  virtual std::unique_ptr<LookupThread> StartLookup(TUser& /*user*/) { return nullptr; }
  // The sweep's, once per sweep: the lookups of the users that left (maybe
  // none). Each is stopped; what it publishes within a few milliseconds
  // reaches its record, and after that it never touches the record again,
  // so the record may go while the thread winds down. This default waits
  // for each.
  virtual void Release(std::vector<std::unique_ptr<LookupThread>> threads) {
    for (auto& thread : threads) thread->Terminate();
    for (auto& thread : threads) thread->WaitFor();
  }
  // Returns once every released lookup has ended.
  virtual void JoinReleased() {}
};

// The disconnect status: whom the rules turn away. The values are the codes
// the settings file stores.
enum KickStatus : int { KickNobody = 0, KickList = 1, KickAll = 2 };

// The status a stored code stands for; a code that stands for none gives
// the default, KickNobody.
inline KickStatus KickStatusFromCode(int code) {
  return code == KickList ? KickList : code == KickAll ? KickAll : KickNobody;
}

// The checks that follow the sweep in every tick.
class TickRules {
 public:
  virtual ~TickRules() = default;
  virtual KickStatus WhoToKick() const { return KickNobody; }
  // The program watch (runs while the Quake setting is on).
  virtual void ProgramWatch() {}
  virtual void KickLastUser() {}
  virtual void KickAllUsers() {}
  virtual void KickListIdle() {}
};

}  // namespace qm
