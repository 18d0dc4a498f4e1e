// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// quillmoor98: the desktop program, or with --console the same monitor
// without windows. Built twice: the program file without Qt, which runs the
// console front end and becomes the desktop program (quillmoor98-desktop,
// built with QM_HAVE_GUI) for everything else.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "app/ConsoleProgram.h"
#include "app/InstalledLayout.h"
#include "control/ControlCommandLine.h"
#include "control/ControlSocket.h"
#include "observe/JournalEventWriter.h"
#include "observe/ListenAddress.h"
#include "os/BrokenPipe.h"
#include "platform/ProcProcessList.h"
#include "platform/ProgramPaths.h"
#include "platform/ServerBackendFactory.h"
#include "platform/SingleInstance.h"
#include "platform/StartupRegistration.h"
#include "platform/samba/SambaServerBackend.h"
#include "store/SettingsFile.h"

#ifdef QM_HAVE_GUI
#include "ui/DesktopProgram.h"
#endif

namespace {

// The one version: the project's, as the packages carry it.
constexpr const char* kVersion = QM_PROJECT_VERSION;

constexpr const char* kDescription =
    "Quillmoor 98 watches this computer's Samba server: who is connected to its shares now and "
    "who was before, the files they have open, when and how each connection began and ended. It "
    "alerts on new connections, finds each client's address and host name, disconnects users on "
    "command or by rule, and keeps its history in Tree.dat.";

constexpr const char* kFooter = R"(Front ends:
  (default)        the desktop program; it lives in the notification area.
  --console        no windows: one line per event on standard output, message
                   boxes as "info: TEXT" / "error: TEXT" on standard error. Ticks
                   every Refresh seconds. SIGINT, SIGTERM end it like the end
                   of a desktop session: history stored, settings written.
                   SIGHUP reads Quillmoor98.ini and the list files again.
  --console --step ticks driven by standard input: the first tick at start-up,
                   then one per line read; after every tick one line
                   "tick N users U files F". End of input shuts down normally.
  --console --metrics [ADDRESS:]PORT
                   also serves Prometheus metrics at http://ADDRESS:PORT/metrics
                   (ADDRESS: 127.0.0.1 unless given; an IPv6 address in
                   brackets; the usual port is 19098).
  --console --metrics [ADDRESS:]PORT --web-config FILE
                   the same over TLS and with basic authentication, as FILE
                   says (the web configuration of Prometheus' exporters).
  --console --control PATH
                   the control socket (HTTP and JSON on a Unix socket) that
                   quillmoor98 ctl and the Cockpit page use; --control none:
                   no socket.
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
  QUILLMOOR98_WEB_CONFIG    the web configuration file when --web-config is not
                            given (console only)
  QUILLMOOR98_METRICS_CLIENTS
                            1: a quillmoor98_client_info metric per current
                            client (its names and address as labels)
  QUILLMOOR98_EVENTS        text (default) or json, when --events is not given
  QUILLMOOR98_CONTROL       the control socket when --control is not given (the
                            console's, and the one quillmoor98 ctl asks)
  QUILLMOOR98_PROC_HELPER   the socket of the helper that reads the executables
                            of processes the program may not read itself

The running monitor from a shell (quillmoor98 ctl --help):
  quillmoor98 ctl [--socket PATH] COMMAND [--json]
                   status, users, history [--text], disconnect CLIENT, list,
                   list add NAME [ADDRESS], list remove NAME,
                   kick-status [nobody|list|everybody], get KEY, set KEY VALUE,
                   watch)";

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

// The console on this computer's Samba server, neither as root nor with a
// way to elevate Samba's tools (QUILLMOOR98_SAMBA_ELEVATE, or sudo for a
// member of the group): smbstatus refuses everybody else, so the refusal
// comes at once, before any file is touched. Empty when the run may go on.
std::string MissingRights() {
  const char* server = std::getenv("QUILLMOOR98_SERVER");
  if ((server && *server && std::string(server) != "samba") || ::geteuid() == 0) return {};
  if (!qm::SambaServerBackend::OptionsFromEnvironment().elevate.empty()) return {};
  return std::string(
             "You don't have the necessary rights to execute this program: reading "
             "Samba's state needs root or the group ") +
         qm::ControlSocket::kGroup + "; to join it: " + qm::ControlSocket::HowToJoinGroup();
}

}  // namespace

int main(int argc, char** argv) {
  // A closed standard output or error must never end the monitor: a write
  // to it fails instead.
  qm::IgnoreBrokenPipe();
  if (argc > 1 && std::string(argv[1]) == "ctl") {
    return qm::ControlCommandLine::Run(argc - 1, argv + 1, std::cout, std::cerr);
  }
  CLI::App cli{kDescription, "quillmoor98"};
  bool console = false;
  bool step = false;
  cli.add_flag("--console", console, "run without windows");
  cli.add_flag("--step", step, "with --console: one tick per line of standard input");
  std::string metrics;
  std::string webConfig;
  bool metricsClients = false;
  std::string events;
  cli.add_option("--metrics", metrics,
                 "with --console: serve Prometheus metrics on [ADDRESS:]PORT (default address "
                 "127.0.0.1)");
  cli.add_option("--web-config", webConfig,
                 "with --metrics: TLS and basic authentication from a web configuration file in "
                 "the format of Prometheus' exporters");
  cli.add_flag("--metrics-clients", metricsClients,
               "with --metrics: an info metric per current client, names and address as labels");
  std::string control;
  cli.add_option("--control", control,
                 "with --console: the control socket's path (none: no socket; default "
                 "$RUNTIME_DIRECTORY/control, $XDG_RUNTIME_DIR/quillmoor98/control, for root "
                 "/run/quillmoor98/control)");
  cli.add_option("--events", events, "with --console: text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  cli.set_version_flag("--version", std::string("Quillmoor 98 ") + kVersion);
  const qm::InstalledLayout installed{QM_INSTALLED_PROGRAM_FILE, QM_INSTALLED_PROGRAM_DIR,
                                      QM_INSTALLED_SETTINGS_DIR, QM_INSTALLED_HELP_FILE,
                                      QM_INSTALLED_NBTSTAT,      QM_INSTALLED_DESKTOP_PROGRAM};
  cli.footer(kFooter + InstalledFooter(installed));
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end with 0; a command line it cannot read with 2.
    return cli.exit(e) == 0 ? 0 : 2;
  }
  if (step && !console) {
    std::cerr << "quillmoor98: --step goes with --console" << std::endl;
    return 2;
  }
  auto fromEnvironment = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  qm::ConsoleOptions options;
  // The environment speaks to the console only: the desktop program of
  // the same machine may share it.
  if (console) {
    if (metrics.empty()) metrics = fromEnvironment("QUILLMOOR98_METRICS");
    if (webConfig.empty()) webConfig = fromEnvironment("QUILLMOOR98_WEB_CONFIG");
    if (events.empty()) events = fromEnvironment("QUILLMOOR98_EVENTS");
    if (control.empty()) control = fromEnvironment("QUILLMOOR98_CONTROL");
    if (control.empty()) {
      control = qm::ControlSocket::DefaultPath();
      options.controlRequired = false;
    }
    if (control == "none") control.clear();
    if (!metricsClients) metricsClients = fromEnvironment("QUILLMOOR98_METRICS_CLIENTS") == "1";
  }
  if (!console &&
      (cli.count("--metrics") || cli.count("--events") || cli.count("--metrics-clients") ||
       cli.count("--control") || cli.count("--web-config"))) {
    std::cerr << "quillmoor98: --metrics, --events and --control go with --console" << std::endl;
    return 2;
  }
  if (!webConfig.empty() && metrics.empty()) {
    std::cerr << "quillmoor98: --web-config goes with --metrics" << std::endl;
    return 2;
  }
  options.step = step;
  options.control = control;
  if (!metrics.empty()) {
    std::string error;
    options.telemetry.metrics = qm::ListenAddress::Parse(metrics, error);
    if (!options.telemetry.metrics) {
      std::cerr << "quillmoor98: --metrics " << metrics << ": " << error << std::endl;
      return qm::kExitFatal;
    }
  }
  options.telemetry.metricsClients = metricsClients;
  options.telemetry.webConfig = webConfig;
  if (events == "json") {
    options.telemetry.events = qm::EventFormat::Json;
  } else if (!events.empty() && events != "text") {
    std::cerr << "quillmoor98: QUILLMOOR98_EVENTS must be text or json, not " << events
              << std::endl;
    return qm::kExitFatal;
  }
  options.telemetry.journal = options.telemetry.events == qm::EventFormat::Text &&
                              qm::JournalEventWriter::IsJournalStream(STDOUT_FILENO);

#ifdef QM_HAVE_GUI
  const std::string programFile = installed.ProgramFileFor(qm::ProgramFile());
#else
  const std::string programFile = qm::ProgramFile();
  if (!console) {
    // The same arguments and environment: the desktop program reads them as
    // this one would have.
    const std::string desktop = installed.DesktopProgramFor(programFile);
    ::execv(desktop.c_str(), argv);
    const int saved = errno;
    std::cerr << "quillmoor98: the desktop program " << desktop << " cannot be started ("
              << std::strerror(saved)
              << "); install the package quillmoor98-desktop, or use --console" << std::endl;
    return qm::kExitFatal;
  }
#endif
  if (console) {
    if (const std::string refusal = MissingRights(); !refusal.empty()) {
      std::cerr << "info: " << refusal << std::endl;
      return qm::kExitFatal;
    }
  }
  qm::ApplicationConfig config;
  config.programFile = programFile;
  installed.Apply(config);
  // Once per user session, and once per data folder: the service and a
  // member's desktop program on one folder would write over each other's
  // history.
  qm::SingleInstance instance;
  std::string error;
  auto result = instance.Acquire(qm::InstanceName(programFile), error);
  if (result != qm::SingleInstance::Result::kAlreadyRunning) {
    if (result == qm::SingleInstance::Result::kError) {
      std::cerr << "quillmoor98: warning: " << error << std::endl;
    }
    result = instance.AcquireDataFolder(config.programDirectory, error);
  }
  switch (result) {
    case qm::SingleInstance::Result::kAlreadyRunning:
      if (console) {
        std::cerr << "info: Instance already running!" << std::endl;
      } else {
#ifdef QM_HAVE_GUI
        qm::ShowAlreadyRunning(argc, argv);
#endif
      }
      return qm::kExitNormal;
    case qm::SingleInstance::Result::kError:
      std::cerr << "quillmoor98: warning: " << error << std::endl;
      break;
    case qm::SingleInstance::Result::kFirst:
      break;
  }

  config.backend = qm::CreateServerBackendFromEnvironment(error);
  if (!config.backend) {
    std::cerr << "quillmoor98: " << error << std::endl;
    return qm::kExitFatal;
  }
  const char* procHelper = std::getenv("QUILLMOOR98_PROC_HELPER");
  config.processes = std::make_unique<qm::ProcProcessList>("/proc", procHelper ? procHelper : "");
  config.setStartupRegistration = [programFile](bool enabled, std::string& why) {
    return qm::StartupRegistration(qm::SysconfDir(), programFile,
                                   qm::StartupRegistration::UserConfigDir())
        .Set(enabled, &why);
  };

  if (console) {
    return qm::RunConsole(options, std::move(config), STDIN_FILENO, std::cout, std::cerr);
  }
#ifdef QM_HAVE_GUI
  return qm::RunDesktop(argc, argv, std::move(config));
#else
  return 2;  // not reached: the desktop program replaced this one above
#endif
}
