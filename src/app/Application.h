// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/FrontEnd.h"
#include "core/Monitor.h"
#include "core/ProcessList.h"
#include "core/RefreshCycle.h"
#include "core/ServerApi.h"
#include "core/Settings.h"
#include "enforce/EnforcementRules.h"
#include "observe/EventStream.h"
#include "os/FileStamp.h"
#include "resolve/NameTable.h"
#include "resolve/TIPThreadStarter.h"
#include "store/FormerConnectionStore.h"
#include "store/SettingsFile.h"
#include "thread/UiStepQueue.h"

namespace qm {

class ControlEndpoint;

// The process's exit status. A fatal end (a "Debug: " failure, missing
// rights, a server that cannot be bound, an unusable setting) is a
// failure, so that a service manager restarts the program on failure only;
// so is an end whose history could not be stored, which a service manager
// then shows.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFatal = 1;

// Where the program's files are and what it binds; front ends fill it from
// the environment, tests from their own folders.
struct ApplicationConfig {
  std::string programFile;       // the running program
  std::string programDirectory;  // data files, and the help file unless helpFile says
  std::string settingsPath;      // "Quillmoor98.ini"
  std::unique_ptr<ServerBackend> backend;
  std::unique_ptr<ProcessList> processes;  // null: the program watch finds nothing
  // Pauses of the activation's wait for the server service (tests skip them).
  std::function<void(int milliseconds)> sleep;
  // Start-up registration ("Launch"): enabled -> registered; false: refused,
  // and why says why.
  std::function<bool(bool enabled, std::string& why)> setStartupRegistration;
  // The name table tool (the nbtstat stand-in); empty: beside the program.
  std::string nbtstatPath;
  // The help file; empty: "Quillmoor98.hlp" in programDirectory.
  std::string helpFile;
  // False: new users get no background address lookup.
  bool lookups = true;
};

// The running program, front-end neutral: start-up in its fixed order, the
// first activation, the ticks, and the shutdown in the reverse order with
// every save; and the services both front ends offer: the event stream
// and the control socket. Everything runs on the user-interface thread.
class Application {
 public:
  Application(ApplicationConfig config, FrontEnd& frontEnd, MessageBoxes& messages,
              Clock* clock = nullptr);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The windows' creation: the main window's steps, then the Options
  // dialog's settings and program list, the disconnect status, the
  // Disconnect List. False when the server service cannot be bound: the
  // program then ends at once (ServerError() says why) and nothing has
  // been written.
  bool Create();
  const std::string& ServerError() const { return serverError_; }

  // Every activation of the main window: waits for the server service;
  // the first one hides into the notification area, runs the first tick
  // and starts the refresh timer. True when this call ran the first tick.
  bool Activate();

  // The files are the truth while the program runs: the settings file, the
  // Disconnect List and the program list that changed on the disk since
  // the program read or wrote them (with all: every one) are read again,
  // and what they hold takes effect. A settings key or a list entry that
  // only the program changed since then keeps the program's value; where
  // both changed it, the file's wins and a message names the change
  // dropped. While the front end has a dialog open
  // that edits them, the reading waits for a later call. Every tick calls
  // it first, the console on SIGHUP with all, the closing save before it
  // writes anything, so a change is never written over unread.
  void ReloadChangedFiles(bool all = false);
  // Whoever writes one of those files while the program runs says so: its
  // new version is then known as read.
  void NoteFileWritten(const std::string& path);
  // A change made while the program runs (the control socket, a dialog, a
  // lookup that found a listed user's address) is stored at once, so that
  // a kill loses none of it: the settings file and the lists that differ
  // from what was last read or written are read again (a change on the
  // disk is merged in, see ReloadChangedFiles) and replaced.
  // Every tick calls it after the reading; while a dialog that edits them
  // is open, it waits for a later call.
  void StoreChanges();
  // The two halves of an activation for a front end that must not block:
  // one probe of the server service (true: it answers), and what follows
  // the wait (true when it ran the first tick).
  bool ServerAnswers();
  bool FinishActivation();
  // The wait gives the service up to about ten seconds to come up when the
  // program starts with the desktop.
  static constexpr int kServerWaitRetries = 10;
  static constexpr int kServerWaitPauseMs = 1000;

  // One refresh tick (the timer, "&Refresh", a console step): the
  // server's reading for it starts now, and the tick applies it as soon as
  // it is complete (in RunPendingSteps, which the reading's wake-up has the
  // front end call), then applied runs. A tick due while one waits for its
  // reading joins that one. A tick that fails throws (from here or from
  // RunPendingSteps) after applied has run; the next one tries again.
  void Tick(std::function<void()> applied = {});
  // A tick waits for its reading.
  bool TickWaiting() const { return tickWaiting_; }

  // A close request: allowed while the session ends; otherwise only with
  // the administrator password.
  bool CloseQuery();
  // The close: ends every open connection and stores the history, once.
  void Close();
  // The session is ending (desktop logout, SIGTERM, SIGHUP): no password;
  // the history is on disk before this returns.
  void SessionEnd();
  // The windows' destruction in the reverse order of creation, each
  // writing its settings and files. Safe to call once; Close() runs first
  // if it has not (a fatal end still stores the history).
  void Destroy();

  // The one producer of what happened (the monitor reports to it from
  // Create on). Its sinks subscribe for as long as they live.
  EventStream& Events() { return events_; }
  // The control socket at path (empty: none). It listens before Create,
  // so that a path in use changes nothing, and answers from Create until
  // the end of Destroy, once every lookup and reading has stopped. False
  // with error set when it cannot listen.
  bool ListenControl(const std::string& path, std::string& error);
  // Readable when requests wait (-1: no socket); RunControlRequests
  // answers them.
  int ControlWakeDescriptor() const;
  void RunControlRequests();
  // The control socket's path when the user names none: the user's
  // runtime folder (the service's for root).
  static std::string DefaultControlPath();

  Monitor& GetMonitor() { return *monitor_; }
  Settings& GetSettings() { return settings_; }
  EnforcementRules& Rules() { return *rules_; }
  SettingsFile& GetSettingsFile() { return *settingsFile_; }
  RefreshCycle& Cycle() { return *cycle_; }
  const std::string& ProgramDirectory() const { return config_.programDirectory; }
  std::string HelpFile() const;
  std::string& AdminPassword() { return adminPassword_; }
  bool SessionEnding() const { return sessionEnding_; }
  bool Created() const { return created_; }
  bool Destroyed() const { return destroyed_; }
  // kExitFatal when the program ends because of a failure or without its
  // history stored, else kExitNormal.
  int ExitStatus() const;
  // The refresh timer's interval for the Refresh setting.
  int RefreshIntervalMilliseconds() const { return settings_.Refresh * 1000; }
  // Start-up registration, as the "Launch" check box would call it.
  bool SetStartupRegistration(bool enabled, std::string& why);
  bool SetStartupRegistration(bool enabled) {
    std::string why;
    return SetStartupRegistration(enabled, why);
  }
  // Runs the steps the lookup threads wait for, and the tick whose reading
  // is complete (user-interface thread).
  int RunPendingSteps();
  UiStepQueue& Steps() { return steps_; }

 private:
  void LoadDataFiles();
  std::string KickListPath() const;
  std::string ProgramListPath() const;
  void ReloadFiles(bool all);
  void ReloadSettings();
  bool ReloadKickList(const std::string& path, std::string& error);
  bool ReloadProgramList(const std::string& path, std::string& error);
  // The settings as the program holds them, the View menu's items included.
  Settings HeldSettings() const;
  void StoreSettings();
  void StoreKickList();
  void StoreProgramList();
  // Says which changes made in the program the file's own won over.
  void ReportDropped(const std::string& path, const std::vector<std::string>& dropped);
  // A store that failed is reported once, until one works again.
  void StoreFailed(bool& reported, const std::string& error);
  bool Changed(const std::string& path) const;
  // The files changed on the disk are read again, then the tick runs.
  void ApplyTick();

  ApplicationConfig config_;
  FrontEnd& front_;
  MessageBoxes& messages_;
  Clock* clock_;
  // Outlives the monitor, which reports to it to its end.
  EventStream events_;
  Settings settings_;
  // The lookup threads' services outlive the monitor that stops them.
  UiStepQueue steps_;
  std::unique_ptr<NameTable> names_;
  std::unique_ptr<TIPThreadStarter> lookups_;
  std::unique_ptr<SettingsFile> settingsFile_;
  std::unique_ptr<ServerApi> api_;
  std::unique_ptr<Monitor> monitor_;
  std::unique_ptr<RefreshCycle> cycle_;
  std::unique_ptr<EnforcementRules> rules_;
  std::unique_ptr<FormerConnectionStore> store_;
  std::unique_ptr<ControlEndpoint> control_;
  std::string serverError_;
  std::string adminPassword_;
  // The password as the settings file last held it: a change on the disk
  // replaces the one in memory, a change in memory is written back.
  std::string storedAdminPassword_;
  // The version of each watched file the program last read or wrote.
  std::map<std::string, FileStamp> versions_;
  // What the settings file and the Disconnect List held when the program
  // last read or wrote them: the base of a merge with a change on the disk.
  Settings settingsBase_;
  KickStatus whoToKickBase_ = KickNobody;
  PackedTexts kickListBase_;
  PackedTexts programListBase_;
  // Each list's revision when it last equalled its file.
  std::uint64_t kickListRevision_ = 0;
  std::uint64_t programListRevision_ = 0;
  bool settingsStoreFailed_ = false;
  bool kickListStoreFailed_ = false;
  bool programListStoreFailed_ = false;
  bool tickWaiting_ = false;
  std::vector<std::function<void()>> whenApplied_;
  bool created_ = false;
  bool activatedOnce_ = false;
  bool closed_ = false;
  // The closing save wrote Tree.dat (or has not run yet).
  bool historyStored_ = true;
  bool destroyed_ = false;
  bool sessionEnding_ = false;
  // The list files refused at start-up, left as they are at the end.
  bool kickListUnread_ = false;
  bool programListUnread_ = false;
};

}  // namespace qm
