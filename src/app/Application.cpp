#include "app/Application.h"

#include <chrono>
#include <thread>

#include "enforce/DisconnectListFile.h"
#include "enforce/ProgramListFile.h"
#include "os/AtomicFile.h"
#include "platform/ProgramPaths.h"
#include "store/SettingsSections.h"

namespace qm {

namespace {
constexpr int kServerWaitRetries = 10;
constexpr int kServerWaitPauseMs = 1000;
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
  monitor_.reset();
}

std::string Application::HelpFile() const {
  if (!config_.helpFile.empty()) return config_.helpFile;
  return JoinPath(config_.programDirectory, kHelpFileName);
}

bool Application::SetStartupRegistration(bool enabled) {
  return config_.setStartupRegistration ? config_.setStartupRegistration(enabled) : false;
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

  // The main window.
  settingsFile_ = std::make_unique<SettingsFile>(config_.settingsPath);
  if (!settingsFile_->LoadError().empty()) messages_.Error(settingsFile_->LoadError());
  if (!config_.backend) {
    serverError_ = "no server backend";
    return false;
  }
  api_ = std::make_unique<ServerApi>(*config_.backend);
  const int bound = api_->LoadServerApi();
  MonitorPorts ports;
  ports.clock = clock_;
  ports.messages = &messages_;
  ports.view = &front_;
  monitor_ = std::make_unique<Monitor>(*api_, settings_, ports);
  if (bound < 0) {
    // Ends at once: the bounds and the password have not been read, so
    // nothing is written back.
    serverError_ = api_->LoadError();
    return false;
  }
  monitor_->ProgramStarting = true;
  monitor_->FormerUserCount = 0;
  front_.ApplyMainWindowBounds(ReadMainWindowBounds(*settingsFile_));
  adminPassword_ = ReadAdminPassword(*settingsFile_);
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
    if (!ProgramListFile::Load(JoinPath(config_.programDirectory, ProgramListFile::kFileName),
                               rules_->Programs(), error)) {
      programListUnread_ = true;
      messages_.Error(error);
    }
  };
  LoadOptions(*settingsFile_, settings_, hooks);
  front_.SetRefreshInterval(RefreshIntervalMilliseconds());
  front_.ShowToolbar(settings_.Toolbar);
  front_.ShowStatusbar(settings_.Statusbar);

  // The disconnect status dialog.
  rules_->Status().Load([this](const std::string& section, const std::string& key, int fallback) {
    return settingsFile_->ReadInteger(section, key, fallback);
  });

  // The Disconnect List dialog.
  front_.ApplyKickListBounds(ReadKickListBounds(*settingsFile_));
  LoadDataFiles();
  created_ = true;
  return true;
}

void Application::LoadDataFiles() {
  std::string error;
  if (!DisconnectListFile::Load(JoinPath(config_.programDirectory, DisconnectListFile::kFileName),
                                rules_->List(), error)) {
    kickListUnread_ = true;
    messages_.Error(error);
  }
}

void Application::Activate() {
  if (!created_ || destroyed_) return;
  ServerApi& api = monitor_->Api();
  int result = api.SharesInit();
  api.SharesExit();
  for (int retry = 0; result < 0 && retry < kServerWaitRetries; ++retry) {
    result = api.SharesInit();
    api.SharesExit();
    config_.sleep(kServerWaitPauseMs);
  }
  if (monitor_->ProgramStarting && !activatedOnce_) {
    activatedOnce_ = true;
    monitor_->RefreshBusy = false;
    sessionEnding_ = false;
    front_.EnterNotificationArea();
    try {
      Tick();
    } catch (...) {
      // A first tick that failed must not leave the monitor without a timer.
      front_.StartRefreshTimer();
      throw;
    }
    front_.StartRefreshTimer();
  }
}

bool Application::CloseQuery() {
  if (sessionEnding_) return true;
  const std::string typed =
      messages_.Prompt("Security Shutdown", "Enter the ADMIN Password to Exit");
  return typed == adminPassword_;
}

void Application::Close() {
  if (closed_ || !created_) return;
  closed_ = true;
  store_->SaveFormerConnections(front_.Progress());
  front_.RestoreWindowState();
}

void Application::SessionEnd() {
  sessionEnding_ = true;
  if (CloseQuery()) Close();
}

void Application::Destroy() {
  if (destroyed_ || !created_) return;
  Close();
  destroyed_ = true;
  front_.StopRefreshTimer();
  std::string error;

  // The Disconnect List dialog: its file, then its bounds.
  const std::string kickList = JoinPath(config_.programDirectory, DisconnectListFile::kFileName);
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
    const std::string path = JoinPath(config_.programDirectory, ProgramListFile::kFileName);
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

  // The main window: the server binding, its bounds, the password.
  monitor_->Api().UnloadServerApi();
  WriteMainWindowBounds(*settingsFile_, front_.MainWindowBounds());
  WriteAdminPassword(*settingsFile_, adminPassword_);
  if (!settingsFile_->Flush()) {
    messages_.Error(settingsFile_->Error() + ": " + settingsFile_->ErrorDetail());
  }
}

}  // namespace qm
