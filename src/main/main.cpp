// quillmoor98: the desktop program, or with --console the same monitor
// without windows.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/ConsoleProgram.h"
#include "app/InstalledLayout.h"
#include "observe/JournalEventWriter.h"
#include "observe/ListenAddress.h"
#include "os/BrokenPipe.h"
#include "platform/ProcProcessList.h"
#include "platform/ProgramPaths.h"
#include "platform/ServerBackendFactory.h"
#include "platform/SingleInstance.h"
#include "platform/StartupRegistration.h"
#include "store/SettingsFile.h"

#ifdef QM_HAVE_GUI
#include "ui/DesktopProgram.h"
#endif

namespace {

constexpr const char* kVersion = "1.1 (build 2.10)";

constexpr const char* kDescription =
    "Quillmoor 98 watches this computer's Samba server: who is connected to its shares now and "
    "who was before, the files they have open, when and how each connection began and ended. It "
    "alerts on new connections, finds each client's address and host name, disconnects users on "
    "command or by rule, and keeps its history in Tree.dat.";

constexpr const char* kFooter = R"(Front ends:
  (default)        the desktop program; it lives in the notification area.
  --console        no windows: one line per event on standard output, message
                   boxes as "info: TEXT" / "error: TEXT" on standard error. Ticks
                   every Refresh seconds. SIGINT, SIGTERM, SIGHUP end it like the
                   end of a desktop session: history stored, settings written.
  --console --step ticks driven by standard input: the first tick at start-up,
                   then one per line read; after every tick one line
                   "tick N users U files F". End of input shuts down normally.
  --console --metrics [ADDRESS:]PORT
                   also serves Prometheus metrics at http://ADDRESS:PORT/metrics
                   (ADDRESS: 127.0.0.1 unless given; an IPv6 address in
                   brackets; the usual port is 19098).
  --console --events json
                   one JSON object per event instead of the text line (and per
                   tick with --step). Under systemd the text events go to the
                   journal with QUILLMOOR98_* fields.

Environment:
  QUILLMOOR98_SERVER        samba (default) or sim:PATH (simulated server state)
  QUILLMOOR98_SMB_CONF      the smb.conf the Samba tools use
  QUILLMOOR98_SAMBA_ELEVATE a prefix for the Samba tools, e.g. "sudo -n"; unset:
                            "sudo -n" for a member of the group quillmoor98
                            who is not root, none otherwise
  QUILLMOOR98_SYSCONFDIR    folder of Quillmoor98.ini (default /etc)
  QUILLMOOR98_PROGRAM_DIR   folder of Tree.dat, KickList.dat, ProgramList.dat
                            (default: the program's folder)
  QUILLMOOR98_METRICS       [ADDRESS:]PORT of the metrics endpoint when
                            --metrics is not given (console only)
  QUILLMOOR98_METRICS_CLIENTS
                            1: a quillmoor98_client_info metric per current
                            client (its names and address as labels)
  QUILLMOOR98_EVENTS        text (default) or json, when --events is not given)";

// The installed program's own defaults, when this build has them.
std::string InstalledFooter(const qm::InstalledLayout& layout) {
  if (layout.programFile.empty()) return {};
  std::string text = "\n\nInstalled as " + layout.programFile + ", the defaults are:";
  if (!layout.settingsDirectory.empty()) {
    text += "\n  Quillmoor98.ini in       " + layout.settingsDirectory;
  }
  if (!layout.programDirectory.empty()) {
    text += "\n  data files in            " + layout.programDirectory;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  qm::IgnoreBrokenPipe();
  CLI::App cli{kDescription, "quillmoor98"};
  bool console = false;
  bool step = false;
  cli.add_flag("--console", console, "run without windows");
  cli.add_flag("--step", step, "with --console: one tick per line of standard input");
  std::string metrics;
  bool metricsClients = false;
  std::string events;
  cli.add_option("--metrics", metrics,
                 "with --console: serve Prometheus metrics on [ADDRESS:]PORT (default address "
                 "127.0.0.1)");
  cli.add_flag("--metrics-clients", metricsClients,
               "with --metrics: an info metric per current client, names and address as labels");
  cli.add_option("--events", events, "with --console: text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  cli.set_version_flag("--version", std::string("Quillmoor 98 ") + kVersion);
  const qm::InstalledLayout installed{QM_INSTALLED_PROGRAM_FILE, QM_INSTALLED_PROGRAM_DIR,
                                      QM_INSTALLED_SETTINGS_DIR, QM_INSTALLED_HELP_FILE,
                                      QM_INSTALLED_NBTSTAT};
  cli.footer(kFooter + InstalledFooter(installed));
  CLI11_PARSE(cli, argc, argv);
  if (step && !console) {
    std::cerr << "quillmoor98: --step goes with --console" << std::endl;
    return 2;
  }
  auto fromEnvironment = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  // The environment speaks to the console only: the desktop program of
  // the same machine may share it.
  if (console) {
    if (metrics.empty()) metrics = fromEnvironment("QUILLMOOR98_METRICS");
    if (events.empty()) events = fromEnvironment("QUILLMOOR98_EVENTS");
    if (!metricsClients) metricsClients = fromEnvironment("QUILLMOOR98_METRICS_CLIENTS") == "1";
  }
  if (!console &&
      (cli.count("--metrics") || cli.count("--events") || cli.count("--metrics-clients"))) {
    std::cerr << "quillmoor98: --metrics and --events go with --console" << std::endl;
    return 2;
  }
  qm::ConsoleOptions options;
  options.step = step;
  if (!metrics.empty()) {
    std::string error;
    options.telemetry.metrics = qm::ListenAddress::Parse(metrics, error);
    if (!options.telemetry.metrics) {
      std::cerr << "quillmoor98: --metrics " << metrics << ": " << error << std::endl;
      return 2;
    }
  }
  options.telemetry.metricsClients = metricsClients;
  if (events == "json") {
    options.telemetry.events = qm::EventFormat::Json;
  } else if (!events.empty() && events != "text") {
    std::cerr << "quillmoor98: QUILLMOOR98_EVENTS must be text or json, not " << events
              << std::endl;
    return 2;
  }
  options.telemetry.journal = options.telemetry.events == qm::EventFormat::Text &&
                              qm::JournalEventWriter::IsJournalStream(STDOUT_FILENO);

  const std::string programFile = qm::ProgramFile();
  qm::SingleInstance instance;
  std::string error;
  switch (instance.Acquire(qm::InstanceName(programFile), error)) {
    case qm::SingleInstance::Result::kAlreadyRunning:
      if (console) {
        std::cerr << "info: Instance already running!" << std::endl;
      } else {
#ifdef QM_HAVE_GUI
        qm::ShowAlreadyRunning(argc, argv);
#else
        std::cerr << "info: Instance already running!" << std::endl;
#endif
      }
      return 0;
    case qm::SingleInstance::Result::kError:
      std::cerr << "quillmoor98: warning: " << error << std::endl;
      break;
    case qm::SingleInstance::Result::kFirst:
      break;
  }

  qm::ApplicationConfig config;
  config.programFile = programFile;
  installed.Apply(config);
  config.backend = qm::CreateServerBackendFromEnvironment(error);
  if (!config.backend) {
    std::cerr << "quillmoor98: " << error << std::endl;
    return 0;
  }
  config.processes = std::make_unique<qm::ProcProcessList>();
  config.setStartupRegistration = [programFile](bool enabled) {
    return qm::StartupRegistration(qm::SysconfDir(), programFile).Set(enabled);
  };

  if (console) {
    return qm::RunConsole(options, std::move(config), STDIN_FILENO, std::cout, std::cerr);
  }
#ifdef QM_HAVE_GUI
  return qm::RunDesktop(argc, argv, std::move(config));
#else
  std::cerr << "quillmoor98: this build has no desktop program; use --console" << std::endl;
  return 2;
#endif
}
