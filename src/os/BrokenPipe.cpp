#include "os/BrokenPipe.h"

#include <signal.h>

namespace qm {

void IgnoreBrokenPipe() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace qm
