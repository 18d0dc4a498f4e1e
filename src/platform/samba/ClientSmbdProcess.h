#pragma once

#include <string>

namespace qm {

// Whether a process is an smbd that serves a client of this computer's
// Samba server, the only kind of process the program may end for a member
// of its group: never the main smbd (it would end every client), nmbd,
// winbindd, smbd's own helpers (notifyd, cleanupd) or any other program.
// Reads /proc, which for another user's process needs root (the helper
// that checks runs through sudo).
class ClientSmbdProcess {
 public:
  // A process id as the helper takes it: 1 to 7 decimal digits, nothing
  // else (no sign, no blank).
  static bool ParsePid(const std::string& text, long& pid);

  // True when pid runs smbd, its parent runs smbd too (so it is a child of
  // the main smbd, not the main one) and it holds an established TCP
  // connection (a client's; smbd's helpers hold none). Otherwise false
  // with why.
  static bool Check(long pid, std::string& why);
};

}  // namespace qm
