#pragma once

namespace qm {

// A closed pipe or socket at the other end (standard output, a metrics
// client, a tool's input) must never end the monitor: a write to it fails
// with EPIPE instead of raising SIGPIPE.
void IgnoreBrokenPipe();

}  // namespace qm
