#pragma once

#include <string>

namespace qm {

// What /proc tells of smbd processes: the one implementation behind the
// back end's choice of processes to end and the end-session helper's
// check. Only a client smbd may be ended: never the main smbd (that would
// end every client), nmbd, winbindd, smbd's own helpers (notifyd,
// cleanupd) or any other program.
class SmbdProcess {
 public:
  // What /proc/PID/stat says of a process.
  struct State {
    bool exists = false;
    bool known = false;  // /proc answered
    std::string comm;    // the program name the kernel keeps (15 characters at most)
    char state = '?';
    long parent = 0;
  };
  static State StateOf(long pid);

  // A process id as the helper takes it: 1 to 7 decimal digits, nothing
  // else (no sign, no blank).
  static bool ParsePid(const std::string& text, long& pid);

  // The process is there, not a zombie, and runs smbd (a pid file can
  // outlive its smbd and its number be given to another program).
  static bool Alive(long pid);
  // An smbd whose parent is no smbd: the main process, which serves no
  // client itself.
  static bool IsMain(long pid);

  // The main smbd of the pid file in pidDirectory (named after conf when
  // that is not the default one): its id, 0 when it is not running, -1 when
  // that cannot be told (the folder is unknown or the file unreadable).
  static long MainPid(const std::string& pidDirectory, const std::string& conf);

  // The helper's check, which trusts no name a process may give itself:
  // true when pid's program file is smbd, its parent's is smbd too (so it
  // is a child of the main smbd, not the main one) and it holds an
  // established TCP connection (a client's; smbd's helpers hold none).
  // Otherwise false with why. Reading another user's program file needs
  // root (the helper runs through sudo).
  static bool Check(long pid, std::string& why);
};

}  // namespace qm
