#include "platform/samba/SambaTools.h"

#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <sstream>

namespace qm {

namespace {
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}
}  // namespace

const std::vector<std::string>& SambaTools::ToolDirs() {
  static const std::vector<std::string> dirs = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};
  return dirs;
}

std::stop_token SambaTools::Cancel() const {
  std::lock_guard lock(mutex_);
  return stop_.get_token();
}

void SambaTools::Stop() {
  std::lock_guard lock(mutex_);
  stop_.request_stop();
}

void SambaTools::Resume() {
  std::lock_guard lock(mutex_);
  if (stop_.stop_requested()) stop_ = std::stop_source();
}

NetStatus SambaTools::Run(const std::string& tool, std::vector<std::string> arguments,
                          ProcessResult& run, std::string* whyFailed) const {
  std::vector<std::string> argv = elevate_;
  argv.push_back(tool);
  argv.insert(argv.end(), std::make_move_iterator(arguments.begin()),
              std::make_move_iterator(arguments.end()));
  ProcessRunner::Options runOptions;
  runOptions.timeout = timeout_;
  runOptions.cancel = Cancel();
  run = ProcessRunner::Run(argv, runOptions);
  if (run.Succeeded()) return NERR_Success;
  std::string why = run.error;
  if (why.empty()) {
    why = tool + ": " + FirstLine(!run.err.empty() ? run.err : run.out);
    if (run.outcome == ProcessResult::Outcome::Signaled) {
      why += " (signal " + std::to_string(run.signal) + ")";
    } else {
      why += " (exit status " + std::to_string(run.exitCode) + ")";
    }
  }
  if (whyFailed) *whyFailed = why;
  return StatusOfRun(run);
}

ProcessResult SambaTools::RunPlain(const std::vector<std::string>& argv,
                                   std::chrono::milliseconds timeout,
                                   std::size_t outputLimit) const {
  ProcessRunner::Options options;
  options.timeout = timeout;
  options.outputLimit = outputLimit;
  options.cancel = Cancel();
  return ProcessRunner::Run(argv, options);
}

NetStatus SambaTools::StatusOfRun(const ProcessResult& run) {
  switch (run.outcome) {
    case ProcessResult::Outcome::TimedOut:
      return NERR_ServerNotStarted;
    case ProcessResult::Outcome::NotStarted:
    case ProcessResult::Outcome::Cancelled:
      return kSambaToolFailed;
    case ProcessResult::Outcome::Exited:
      if (run.exitCode == 0) return NERR_Success;
      break;
    case ProcessResult::Outcome::Signaled:
      break;
  }
  // Samba's tools refuse to read its state without root; sudo refuses
  // without rights or a password.
  std::string said = run.err + "\n" + run.out;
  for (char& c : said) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const char* denial :
       {"only works as root", "permission denied", "access denied", "operation not permitted",
        "a password is required", "not in the sudoers", "not allowed to"}) {
    if (said.find(denial) != std::string::npos) return ERROR_ACCESS_DENIED;
  }
  return kSambaToolFailed;
}

std::vector<std::string> SambaTools::ElevationFor(const char* setting, bool root,
                                                  bool sudoAllowed) {
  if (setting) {
    std::vector<std::string> words;
    std::istringstream in(setting);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
  }
  if (!root && sudoAllowed) return {"sudo", "-n"};
  return {};
}

bool SambaTools::HoldsGroup(const char* name) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (::getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return false;
  }
  const gid_t gid = found->gr_gid;
  if (::getegid() == gid || ::getgid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string SambaTools::EndSessionTool() {
#ifdef QM_END_SESSION_TOOL
  if (::access(QM_END_SESSION_TOOL, X_OK) == 0) return QM_END_SESSION_TOOL;
#endif
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  std::string beside(self, static_cast<std::size_t>(n));
  beside = beside.substr(0, beside.find_last_of('/') + 1) + "quillmoor98-end-session";
  return ::access(beside.c_str(), X_OK) == 0 ? beside : std::string();
}

}  // namespace qm
