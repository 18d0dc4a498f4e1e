// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "app/Application.h"

#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include "app/ConsoleControl.h"
#include "control/ControlSocket.h"
#include "enforce/DataLines.h"
#include "enforce/DisconnectListFile.h"
#include "enforce/ProgramListFile.h"
#include "os/AtomicFile.h"
#include "platform/ProgramPaths.h"
#include "store/SettingsSections.h"

namespace qm {

namespace {
constexpr const char* kHelpFileName = "Quillmoor98.hlp";

// A list file that could not be read at start-up is never replaced: the
// entries it holds are worth more than the ones of this run.
std::string KeptUnreadFile(const std::string& path) {
  return "Cannot create file " + path + ": it could not be read at start-up and is left as it is";
}
}  // namespace

Application::Application(ApplicationConfig config, FrontEnd& frontEnd, MessageBoxes& messages,
                         Clock* clock)
    : config_(std::move(config)), front_(frontEnd), messages_(messages), clock_(clock) {
  steps_.SetWakeUp([this] { front_.WakeUpForSteps(); });
  if (!config_.sleep) {
    config_.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  }
}

Application::~Application() {
  // Lookup threads end (serving their last steps) before the records, the
  // lists and the step queue they use go.
  if (monitor_) {
    ClearSeenFlags(monitor_->Users);
    if (!closed_) monitor_->SweepUsers(true);
  }
  // The store watches the monitor's trees: it lets go of them first.
  store_.reset();
  monitor_.reset();
  if (api_) {
    api_->UnloadServerApi();
    api_->SetReadingWakeUp(nullptr);
  }
  // Nothing reports any more: the control socket's sink may go.
  control_.reset();
}

bool Application::ListenControl(const std::string& path, std::string& error) {
  if (path.empty()) return true;
  auto control = std::make_unique<ControlEndpoint>();
  if (!control->Listen(path, error)) return false;
  control_ = std::move(control);
  return true;
}

int Application::ControlWakeDescriptor() const {
  return control_ ? control_->WakeDescriptor() : -1;
}

void Application::RunControlRequests() {
  if (control_) control_->RunPending();
}

std::string Application::DefaultControlPath() {
  return ControlSocket::DefaultPath();
}

void Application::Tick(std::function<void()> applied) {
  if (applied) whenApplied_.push_back(std::move(applied));
  if (tickWaiting_ || !cycle_) return;
  if (cycle_->TickDue()) {
    tickWaiting_ = true;
    return;
  }
  ApplyTick();
}

int Application::RunPendingSteps() {
  const int ran = steps_.RunPending();
  if (tickWaiting_ && cycle_->ReadingComplete()) ApplyTick();
  return ran;
}

void Application::ApplyTick() {
  tickWaiting_ = false;
  std::vector<std::function<void()>> applied = std::exchange(whenApplied_, {});
  try {
    ReloadChangedFiles();
    StoreChanges();
    cycle_->RefreshTimerTimer();
    // The history is written when it is due: a crash loses at most the
    // last minute.
    // A stop that waits stores it anyway, at once.
    if (!closed_ && !monitor_->RefreshBusy && !front_.StopRequested()) store_->CheckpointIfDue();
  } catch (...) {
    // A tick that failed is over too; the front end reports the failure.
    for (auto& done : applied) done();
    throw;
  }
  for (auto& done : applied) done();
}

std::string Application::HelpFile() const {
  if (!config_.helpFile.empty()) return config_.helpFile;
  return JoinPath(config_.programDirectory, kHelpFileName);
}

bool Application::SetStartupRegistration(bool enabled, std::string& why) {
  if (config_.setStartupRegistration) return config_.setStartupRegistration(enabled, why);
  why = "this program has no start-up list";
  return false;
}

std::string Application::KickListPath() const {
  return JoinPath(config_.programDirectory, DisconnectListFile::kFileName);
}

std::string Application::ProgramListPath() const {
  return JoinPath(config_.programDirectory, ProgramListFile::kFileName);
}

bool Application::Changed(const std::string& path) const {
  const auto it = versions_.find(path);
  return it == versions_.end() || !(it->second == FileStamp::Of(path));
}

void Application::NoteFileWritten(const std::string& path) {
  versions_[path] = FileStamp::Of(path);
}

void Application::ReloadChangedFiles(bool all) {
  if (!created_ || destroyed_ || front_.EditingFiles()) return;
  ReloadFiles(all);
}

void Application::ReloadFiles(bool all) {
  if (all || Changed(config_.settingsPath)) ReloadSettings();
  // A list that cannot be read now keeps what the program holds, and its
  // file is left as it is at the end.
  auto reload = [&](const std::string& path, bool& unread, auto load) {
    if (!all && !Changed(path)) return;
    const FileStamp version = FileStamp::Of(path);
    std::string data, error;
    if (DataLines::ReadFile(path, data, error) == DataLines::ReadResult::Failed) {
      if (!unread) messages_.Error(error);
      unread = true;
    } else if (load(path, error)) {
      unread = false;
    }
    versions_[path] = version;
  };
  reload(KickListPath(), kickListUnread_, [this](const std::string& path, std::string& error) {
    return ReloadKickList(path, error);
  });
  reload(ProgramListPath(), programListUnread_,
         [this](const std::string& path, std::string& error) {
           return ReloadProgramList(path, error);
         });
}

Settings Application::HeldSettings() const {
  Settings held = settings_;
  held.Toolbar = front_.ToolbarShown();
  held.Statusbar = front_.StatusbarShown();
  return held;
}

void Application::ReloadSettings() {
  const FileStamp version = FileStamp::Of(config_.settingsPath);
  if (!settingsFile_->Reload()) {
    messages_.Error(settingsFile_->LoadError());
    versions_[config_.settingsPath] = version;
    return;
  }
  versions_[config_.settingsPath] = version;
  Settings disk;
  LoadOptions(*settingsFile_, disk);
  std::vector<std::string> dropped;
  settings_ = MergeOptions(settingsBase_, HeldSettings(), disk, dropped);
  settingsBase_ = disk;
  front_.SetRefreshInterval(RefreshIntervalMilliseconds());
  front_.ShowToolbar(settings_.Toolbar);
  front_.ShowStatusbar(settings_.Statusbar);

  const auto diskStatus = static_cast<KickStatus>(ReadWhoToKick(*settingsFile_));
  const KickStatus held = rules_->Status().WhoToKick();
  if (diskStatus != whoToKickBase_) {
    if (held != whoToKickBase_ && held != diskStatus) {
      dropped.push_back("WhoToKick=" + std::to_string(held));
    }
    rules_->Status().SetWhoToKick(diskStatus);
  }
  whoToKickBase_ = diskStatus;

  const std::string stored = ReadAdminPassword(*settingsFile_);
  if (stored != storedAdminPassword_) {
    // The password itself is never shown.
    if (adminPassword_ != storedAdminPassword_ && adminPassword_ != stored) {
      dropped.push_back("the administrator password");
    }
    adminPassword_ = stored;
  }
  storedAdminPassword_ = stored;
  ReportDropped(config_.settingsPath, dropped);
}

bool Application::ReloadKickList(const std::string& path, std::string& error) {
  DisconnectList& list = rules_->List();
  if (list.Revision() == kickListRevision_) {
    const bool read = DisconnectListFile::Load(path, list, error);
    kickListBase_ = list.Snapshot();
    kickListRevision_ = list.Revision();
    return read;
  }
  std::string data;
  if (DataLines::ReadFile(path, data, error) == DataLines::ReadResult::Failed) return false;
  PackedTexts disk = DisconnectListFile::Parse(data);
  std::vector<std::string> dropped;
  PackedTexts merged = DisconnectListFile::Merge(kickListBase_, list.Lines(), disk, dropped);
  const bool asOnDisk = merged == disk;
  kickListBase_ = std::move(disk);
  list.Restore(std::move(merged));
  // What only the program changed is still to be stored.
  if (asOnDisk) kickListRevision_ = list.Revision();
  ReportDropped(path, dropped);
  return true;
}

bool Application::ReloadProgramList(const std::string& path, std::string& error) {
  ProgramList& list = rules_->Programs();
  if (list.Version() == programListRevision_) {
    const bool read = ProgramListFile::Load(path, list, error);
    programListBase_ = list.Snapshot();
    programListRevision_ = list.Version();
    return read;
  }
  std::string data;
  if (DataLines::ReadFile(path, data, error) == DataLines::ReadResult::Failed) return false;
  // A program is listed or not: the file's entries, less those the
  // program removed, with those it added. Nothing can conflict.
  PackedTexts disk = ProgramListFile::Parse(data);
  const std::set<std::string_view> base(programListBase_.begin(), programListBase_.end());
  const std::set<std::string_view> ours(list.Entries().begin(), list.Entries().end());
  PackedTexts merged;
  bool asOnDisk = true;
  for (std::string_view entry : disk) {
    const bool kept = !base.contains(entry) || ours.contains(entry);
    if (kept) merged.PushBack(entry);
    asOnDisk = asOnDisk && kept;
  }
  const std::set<std::string_view> onDisk(disk.begin(), disk.end());
  for (std::string_view entry : ours) {
    if (base.contains(entry) || onDisk.contains(entry)) continue;
    merged.PushBack(entry);
    asOnDisk = false;
  }
  programListBase_ = std::move(disk);
  list.Restore(std::move(merged));
  if (asOnDisk) programListRevision_ = list.Version();
  return true;
}

void Application::ReportDropped(const std::string& path, const std::vector<std::string>& dropped) {
  if (dropped.empty()) return;
  std::string changes;
  for (const std::string& change : dropped) changes += (changes.empty() ? "" : ", ") + change;
  messages_.Information(path + " was changed on the disk too: its version is kept, and " +
                        (dropped.size() == 1 ? "this change" : "these changes") +
                        " made in the program dropped: " + changes);
}

void Application::StoreChanges() {
  if (!created_ || destroyed_ || front_.EditingFiles()) return;
  // A change on the disk that has not been read yet is merged in first,
  // never written over.
  ReloadFiles(false);
  StoreSettings();
  StoreKickList();
  StoreProgramList();
}

void Application::StoreSettings() {
  const Settings held = HeldSettings();
  const KickStatus status = rules_->Status().WhoToKick();
  if (held == settingsBase_ && status == whoToKickBase_ && adminPassword_ == storedAdminPassword_) {
    return;
  }
  settings_.Toolbar = held.Toolbar;
  settings_.Statusbar = held.Statusbar;
  SaveOptions(*settingsFile_, settings_);
  WriteWhoToKick(*settingsFile_, status);
  WriteAdminPassword(*settingsFile_, adminPassword_);
  if (!settingsFile_->Flush()) {
    StoreFailed(settingsStoreFailed_, settingsFile_->Error() + ": " + settingsFile_->ErrorDetail());
    return;
  }
  NoteFileWritten(config_.settingsPath);
  settingsBase_ = held;
  whoToKickBase_ = status;
  storedAdminPassword_ = ReadAdminPassword(*settingsFile_);
  settingsStoreFailed_ = false;
}

void Application::StoreKickList() {
  const DisconnectList& list = rules_->List();
  if (kickListUnread_ || list.Revision() == kickListRevision_) return;
  const std::string path = KickListPath();
  std::string error;
  if (!DisconnectListFile::Save(path, list, error)) {
    StoreFailed(kickListStoreFailed_, error);
    return;
  }
  NoteFileWritten(path);
  kickListBase_ = list.Snapshot();
  kickListRevision_ = list.Revision();
  kickListStoreFailed_ = false;
}

void Application::StoreProgramList() {
  const ProgramList& list = rules_->Programs();
  if (programListUnread_ || list.Version() == programListRevision_) return;
  const std::string path = ProgramListPath();
  std::string error;
  if (!ProgramListFile::Save(path, list, error)) {
    StoreFailed(programListStoreFailed_, error);
    return;
  }
  NoteFileWritten(path);
  programListBase_ = list.Snapshot();
  programListRevision_ = list.Version();
  programListStoreFailed_ = false;
}

void Application::StoreFailed(bool& reported, const std::string& error) {
  if (!reported) messages_.Error(error);
  reported = true;
}

bool Application::Create() {
  // A save that was killed midway left its temporary file; the file it was
  // to replace is whole.
  RemoveStaleTemporaryFiles(config_.programDirectory, {kTreeFileName, DisconnectListFile::kFileName,
                                                       ProgramListFile::kFileName});
  const std::size_t slash = config_.settingsPath.find_last_of('/');
  std::string settingsFolder = ".";
  if (slash != std::string::npos) {
    settingsFolder = slash == 0 ? "/" : config_.settingsPath.substr(0, slash);
  }
  RemoveStaleTemporaryFiles(settingsFolder, {config_.settingsPath.substr(slash + 1)});

  // The main window. Each watched file's version is taken before it is
  // read: a change made while it is read is read again at the next tick.
  for (const std::string& path : {config_.settingsPath, KickListPath(), ProgramListPath()}) {
    versions_[path] = FileStamp::Of(path);
  }
  settingsFile_ = std::make_unique<SettingsFile>(config_.settingsPath);
  if (!settingsFile_->LoadError().empty()) messages_.Error(settingsFile_->LoadError());
  if (!config_.backend) {
    serverError_ = "no server backend";
    return false;
  }
  api_ = std::make_unique<ServerApi>(*config_.backend);
  const int bound = api_->LoadServerApi();
  // A reading a tick waits for has ended: the front end's loop runs the tick.
  api_->SetReadingWakeUp([this] { front_.WakeUpForSteps(); });
  MonitorPorts ports;
  ports.clock = clock_;
  ports.messages = &messages_;
  ports.view = &front_;
  ports.telemetry = &events_;
  monitor_ = std::make_unique<Monitor>(*api_, settings_, ports);
  monitor_->TreeViewCurrent.AddObserver(&events_);
  if (bound < 0) {
    // Ends at once: the bounds and the password have not been read, so
    // nothing is written back.
    serverError_ = api_->LoadError();
    return false;
  }
  monitor_->ProgramStarting = true;
  monitor_->FormerUserCount = 0;
  front_.ApplyMainWindowBounds(ReadMainWindowBounds(*settingsFile_));
  adminPassword_ = storedAdminPassword_ = ReadAdminPassword(*settingsFile_);
  monitor_->CurrentUserCount = 0;
  front_.SetStatusText(1, "Number of current users: 0");
  monitor_->ShownUserCount = -1;
  monitor_->ShownFileCount = -1;
  store_ = std::make_unique<FormerConnectionStore>(
      *monitor_, FormerConnectionStore::TreeFilePath(config_.programDirectory));
  store_->LoadFormerConnections();
  rules_ = std::make_unique<EnforcementRules>(*monitor_, config_.processes.get());
  monitor_->SetRules(rules_.get());
  if (config_.lookups) {
    std::string tool = config_.nbtstatPath;
    if (tool.empty()) {
      const auto slash = config_.programFile.find_last_of('/');
      tool = JoinPath(slash == std::string::npos ? "." : config_.programFile.substr(0, slash),
                      NameTable::kToolName);
    }
    names_ = std::make_unique<NameTable>(tool);
    LookupServices services = TIPThreadStarter::ForMonitor(*monitor_, steps_, *names_);
    services.UpdateAddress = [this](const std::string& name, const std::string& address) {
      rules_->List().UpdateAddress(name, address);
      store_->Changed();
    };
    lookups_ = std::make_unique<TIPThreadStarter>(std::move(services));
    monitor_->SetLookups(lookups_.get());
  }
  cycle_ = std::make_unique<RefreshCycle>(*monitor_);

  // The Options dialog: [Options], [View], then the program list.
  OptionsHooks hooks;
  hooks.removeStartupRegistration = [this] { SetStartupRegistration(false); };
  hooks.loadProgramList = [this] {
    std::string error;
    if (!ProgramListFile::Load(ProgramListPath(), rules_->Programs(), error)) {
      programListUnread_ = true;
      messages_.Error(error);
    }
    programListBase_ = rules_->Programs().Snapshot();
    programListRevision_ = rules_->Programs().Version();
  };
  LoadOptions(*settingsFile_, settings_, hooks);
  front_.SetRefreshInterval(RefreshIntervalMilliseconds());
  front_.ShowToolbar(settings_.Toolbar);
  front_.ShowStatusbar(settings_.Statusbar);

  settingsBase_ = HeldSettings();

  // The disconnect status dialog.
  rules_->Status().Load([this](const std::string& section, const std::string& key, int fallback) {
    return settingsFile_->ReadInteger(section, key, fallback);
  });
  whoToKickBase_ = rules_->Status().WhoToKick();

  // The Disconnect List dialog.
  front_.ApplyKickListBounds(ReadKickListBounds(*settingsFile_));
  LoadDataFiles();
  if (control_) control_->Attach(*this, front_);
  created_ = true;
  return true;
}

void Application::LoadDataFiles() {
  std::string error;
  if (!DisconnectListFile::Load(KickListPath(), rules_->List(), error)) {
    kickListUnread_ = true;
    messages_.Error(error);
  }
  kickListBase_ = rules_->List().Snapshot();
  kickListRevision_ = rules_->List().Revision();
}

int Application::ExitStatus() const {
  const bool failed = !created_ || !historyStored_ || (monitor_ && monitor_->EndedByFailure);
  return failed ? kExitFatal : kExitNormal;
}

bool Application::Activate() {
  if (!created_ || destroyed_) return false;
  bool answers = ServerAnswers();
  for (int retry = 0; !answers && retry < kServerWaitRetries; ++retry) {
    answers = ServerAnswers();
    config_.sleep(kServerWaitPauseMs);
  }
  return FinishActivation();
}

bool Application::ServerAnswers() {
  if (!created_ || destroyed_) return true;
  ServerApi& api = monitor_->Api();
  const int result = api.SharesInit();
  api.SharesExit();
  // A server that refuses us answers: waiting cannot give the rights, and
  // the first tick says what is missing.
  return result >= 0 || result == -static_cast<int>(ERROR_ACCESS_DENIED);
}

bool Application::FinishActivation() {
  if (!created_ || destroyed_) return false;
  if (monitor_->ProgramStarting && !activatedOnce_) {
    activatedOnce_ = true;
    monitor_->RefreshBusy = false;
    sessionEnding_ = false;
    front_.EnterNotificationArea();
    // The first tick applies the reading the wait above took.
    try {
      ApplyTick();
    } catch (...) {
      // A first tick that failed must not leave the monitor without a timer.
      front_.StartRefreshTimer();
      throw;
    }
    front_.StartRefreshTimer();
    return true;
  }
  return false;
}

bool Application::CloseQuery() {
  if (sessionEnding_) return true;
  // A cancelled box never exits, also with no password set.
  return messages_.PromptOrCancel("Security Shutdown", "Enter the ADMIN Password to Exit") ==
         adminPassword_;
}

void Application::Close() {
  if (closed_ || !created_) return;
  closed_ = true;
  historyStored_ = store_->SaveFormerConnections(front_.Progress());
  front_.RestoreWindowState();
}

void Application::SessionEnd() {
  sessionEnding_ = true;
  if (CloseQuery()) Close();
}

void Application::Destroy() {
  if (destroyed_ || !created_) return;
  Close();
  // What the administrator changed on the disk since the last tick is read
  // before anything is written over it.
  ReloadFiles(false);
  destroyed_ = true;
  front_.StopRefreshTimer();
  std::string error;

  // The Disconnect List dialog: its file, then its bounds.
  const std::string kickList = KickListPath();
  if (kickListUnread_) {
    messages_.Error(KeptUnreadFile(kickList));
  } else if (DisconnectListFile::Save(kickList, rules_->List(), error)) {
    WriteKickListBounds(*settingsFile_, front_.KickListBounds());
  } else {
    messages_.Error(error);
  }

  // The disconnect status dialog.
  rules_->Status().Save([this](const std::string& section, const std::string& key, int value) {
    settingsFile_->WriteInteger(section, key, value);
  });

  // The Options dialog: [Options], [View], the program list, SoundFile.
  settings_.Toolbar = front_.ToolbarShown();
  settings_.Statusbar = front_.StatusbarShown();
  OptionsHooks hooks;
  hooks.saveProgramList = [this] {
    const std::string path = ProgramListPath();
    std::string err;
    if (programListUnread_) {
      messages_.Error(KeptUnreadFile(path));
      return false;
    }
    if (ProgramListFile::Save(path, rules_->Programs(), err)) return true;
    messages_.Error(err);
    return false;
  };
  SaveOptions(*settingsFile_, settings_, hooks);

  // The main window: the server binding, its bounds, the password. The
  // closing save released every lookup; none may touch the binding's
  // results once it is gone.
  if (lookups_) lookups_->JoinReleased();
  monitor_->Api().UnloadServerApi();
  WriteMainWindowBounds(*settingsFile_, front_.MainWindowBounds());
  WriteAdminPassword(*settingsFile_, adminPassword_);
  if (!settingsFile_->Flush()) {
    messages_.Error(settingsFile_->Error() + ": " + settingsFile_->ErrorDetail());
  }
  // Every lookup and reading has ended: the socket stops answering.
  if (control_) control_->Detach();
}

}  // namespace qm
