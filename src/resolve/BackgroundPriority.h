#pragma once

// The threading pieces live in thread/; this name stays for the listing
// capture until it includes thread/BackgroundPriority.h itself.
#include "thread/BackgroundPriority.h"
