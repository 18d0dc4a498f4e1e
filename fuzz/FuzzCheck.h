#pragma once

#include <cstdlib>

// A property every input must keep; a broken one is a crash the fuzzer saves.
inline void Check(bool condition) {
  if (!condition) std::abort();
}
