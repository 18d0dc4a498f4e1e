// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "platform/StartupRegistration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "os/AtomicFile.h"
#include "os/TrustedPath.h"
#include "platform/ProgramPaths.h"

namespace qm {

namespace {
bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An Exec argument, by the desktop-entry rules in their two layers: the
// argument is quoted when it holds a reserved character, with '"', '`',
// '$' and '\\' escaped by a backslash inside the quotes; '%' is doubled
// (field codes); then the value's own escapes apply, so every backslash
// is written twice and line breaks and tabs as \\n, \\r, \\t.
std::string ExecArgument(const std::string& path) {
  static const std::string kReserved = " \t\n\r\"'\\><~|&;$*?#()`";
  std::string argument;
  const bool quoted = path.find_first_of(kReserved) != std::string::npos;
  if (quoted) argument += '"';
  for (char c : path) {
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
    if (c == '%') argument += '%';
    argument += c;
  }
  if (quoted) argument += '"';
  std::string value;
  for (char c : argument) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\r':
        value += "\\r";
        break;
      case '\t':
        value += "\\t";
        break;
      default:
        value += c;
    }
  }
  return value;
}
}  // namespace

StartupRegistration::StartupRegistration(std::string sysconfDir, std::string programFile,
                                         std::string userConfigDir)
    : sysconfDir_(std::move(sysconfDir)),
      programFile_(std::move(programFile)),
      userConfigDir_(std::move(userConfigDir)) {}

std::string StartupRegistration::UserConfigDir() {
  if (::geteuid() == 0) return {};
  // Relative values are to be ignored, as the base directory rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return config;
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return JoinPath(home, ".config");
  return {};
}

std::string StartupRegistration::RunFolder() const {
  return userConfigDir_.empty() ? JoinPath(sysconfDir_, "xdg/autostart")
                                : JoinPath(userConfigDir_, "autostart");
}

std::string StartupRegistration::RunPath() const {
  return JoinPath(RunFolder(), kEntryName);
}

std::string StartupRegistration::ServicesPath() const {
  return JoinPath(JoinPath(sysconfDir_, "xdg/autostart-services"), kEntryName);
}

std::string StartupRegistration::EntryText(const std::string& programFile) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quillmoor 98\n"
         "Comment=Watches who is connected to this computer's shares\n"
         "Exec=" +
         ExecArgument(programFile) +
         "\n"
         "Icon=quillmoor98\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool StartupRegistration::Set(bool enabled, std::string* why) {
  std::string refused;
  // Every folder is reached without a link somebody else planted: a member
  // of the settings folder's group must not steer root's writes and
  // removals into a folder of root's.
  if (const FileDescriptor services = OpenTrusted(JoinPath(sysconfDir_, "xdg/autostart-services"),
                                                  O_PATH | O_DIRECTORY, FolderRule::kAny, refused);
      services.Valid()) {
    ::unlinkat(services.Get(), kEntryName, 0);  // whatever the outcome, silently
  }
  const std::string folder = RunFolder();
  if (enabled && !userConfigDir_.empty() && !IsFolder(folder)) {
    // The user's own folders, private as the base directory rules ask.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec) ::chmod(folder.c_str(), 0700);
  }
  // The system's folder is opened, never created: without it there is no
  // start-up list to be on.
  const FileDescriptor run = OpenTrusted(folder, O_PATH | O_DIRECTORY, FolderRule::kAny, refused);
  if (!run.Valid()) {
    if (enabled && why) {
      *why =
          errno == ENOENT || errno == ENOTDIR ? "there is no autostart folder " + folder : refused;
    }
    return !enabled;
  }
  if (!enabled) {
    ::unlinkat(run.Get(), kEntryName, 0);
    return true;
  }
  std::string error;
  if (WriteFileAtomicallyAt(run.Get(), kEntryName, RunPath(), EntryText(programFile_), error,
                            0644)) {
    return true;
  }
  if (why) *why = error;
  return false;
}

}  // namespace qm
