#include "core/PointerList.h"

namespace qm {

void ClearSeenFlags(UserList& list) {
  for (UserEntry& u : list) {
    u.Seen = false;
    for (ShareEntry& s : u.Shares) {
      s.Seen = false;
      for (FileEntry& f : s.Files) f.Seen = false;
    }
  }
}

}  // namespace qm
