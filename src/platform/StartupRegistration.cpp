#include "platform/StartupRegistration.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/ProgramPaths.h"

namespace qm {

namespace {
bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An Exec argument: quoted, with the characters the desktop-entry format
// reserves escaped, when it holds any of them (a path with blanks works).
std::string ExecArgument(const std::string& path) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  if (path.find_first_of(kReserved) == std::string::npos) return path;
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
    quoted += c;
  }
  return quoted + "\"";
}
}  // namespace

StartupRegistration::StartupRegistration(std::string sysconfDir, std::string programFile)
    : sysconfDir_(std::move(sysconfDir)), programFile_(std::move(programFile)) {}

std::string StartupRegistration::RunPath() const {
  return JoinPath(JoinPath(sysconfDir_, "xdg/autostart"), kEntryName);
}

std::string StartupRegistration::ServicesPath() const {
  return JoinPath(JoinPath(sysconfDir_, "xdg/autostart-services"), kEntryName);
}

std::string StartupRegistration::EntryText(const std::string& programFile) {
  std::string path;
  for (char c : programFile) path += (c == '\n' || c == '\r') ? ' ' : c;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quillmoor 98\n"
         "Comment=Watches who is connected to this computer's shares\n"
         "Exec=" +
         ExecArgument(path) +
         "\n"
         "Icon=quillmoor98\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool StartupRegistration::Set(bool enabled) {
  ::unlink(ServicesPath().c_str());  // whatever the outcome, silently
  const std::string run = RunPath();
  // The folder is opened, never created: without it there is no start-up
  // list to be on.
  if (!IsFolder(JoinPath(sysconfDir_, "xdg/autostart"))) return !enabled;
  if (!enabled) {
    ::unlink(run.c_str());
    return true;
  }
  std::string error;
  return WriteFileAtomically(run, EntryText(programFile_), error, 0644);
}

}  // namespace qm
