#pragma once

// The data-file helpers live in os/; this name stays for the Samba back
// end's sources until they include os/AtomicFile.h themselves.
#include "os/AtomicFile.h"
