#pragma once

#include <sys/types.h>

#include <string>

namespace qm {

// Writes data to a temporary file in the same folder, flushes it and
// renames it over path: a crash or a full disk in the middle never leaves
// a truncated file, and a failed write keeps the old one. mode applies to
// a new file; an existing file keeps its permissions. On failure error
// says why and false is returned.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error,
                         mode_t mode = 0644);

// Reads a whole file. False (error set) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

bool FileExists(const std::string& path);

}  // namespace qm
