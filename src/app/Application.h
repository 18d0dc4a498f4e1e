#pragma once

#include <functional>
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
#include "resolve/NameTable.h"
#include "resolve/TIPThreadStarter.h"
#include "store/FormerConnectionStore.h"
#include "store/SettingsFile.h"
#include "thread/UiStepQueue.h"

namespace qm {

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
  // Start-up registration ("Launch"): enabled -> registered; false: refused.
  std::function<bool(bool enabled)> setStartupRegistration;
  // The name table tool (the nbtstat stand-in); empty: beside the program.
  std::string nbtstatPath;
  // The help file; empty: "Quillmoor98.hlp" in programDirectory.
  std::string helpFile;
  // False: new users get no background address lookup.
  bool lookups = true;
};

// The running program, front-end neutral: start-up in its fixed order, the
// first activation, the ticks, and the shutdown in the reverse order with
// every save. Everything runs on the user-interface thread.
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
  // and starts the refresh timer.
  void Activate();

  // One refresh tick (the timer, "&Refresh").
  void Tick() { cycle_->RefreshTimerTimer(); }

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
  // The refresh timer's interval for the Refresh setting.
  int RefreshIntervalMilliseconds() const { return settings_.Refresh * 1000; }
  // Start-up registration, as the "Launch" check box would call it.
  bool SetStartupRegistration(bool enabled);
  // Runs the steps the lookup threads wait for (user-interface thread).
  int RunPendingSteps() { return steps_.RunPending(); }
  UiStepQueue& Steps() { return steps_; }

 private:
  void LoadDataFiles();

  ApplicationConfig config_;
  FrontEnd& front_;
  MessageBoxes& messages_;
  Clock* clock_;
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
  std::string serverError_;
  std::string adminPassword_;
  bool created_ = false;
  bool activatedOnce_ = false;
  bool closed_ = false;
  bool destroyed_ = false;
  bool sessionEnding_ = false;
  // The list files refused at start-up, left as they are at the end.
  bool kickListUnread_ = false;
  bool programListUnread_ = false;
};

}  // namespace qm
