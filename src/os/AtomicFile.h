// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace qm {

// The largest data or settings file the program reads. No genuine one comes
// near it (a history of 100 000 users with their shares and files stays far
// below); a larger one is refused rather than read into memory.
inline constexpr std::size_t kDataFileMaxBytes = std::size_t{256} << 20;
// The settings file and the lists (Disconnect List, program list): a few
// kilobytes when genuine; a list of 100 000 entries stays below this.
inline constexpr std::size_t kSettingsFileMaxBytes = std::size_t{4} << 20;

// The mode of a new private file, and of one in a shared folder: a folder
// with the set-group-ID bit (the installed group's folders) shares its
// files with that group.
inline constexpr mode_t kPrivateFileMode = 0600;
inline constexpr mode_t kGroupFileMode = 0660;
// kGroupFileMode when path's folder has the set-group-ID bit, otherwise
// kPrivateFileMode.
mode_t DataFileMode(const std::string& path);

// Writes data to a temporary file in the same folder (".<name>.quillmoor98-save.XXXXXX"),
// flushes it and renames it over path: a crash or a full disk in the middle
// never leaves a truncated file, and a failed write keeps the old one. The
// new file gets mode (never set-user-ID, set-group-ID or sticky) narrowed
// by the umask, whatever an existing file or a link at path had: a link at
// path is replaced, never followed. On failure error says what, which path
// and why, and false is returned. The program's data and settings files
// pass DataFileMode(path).
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error,
                         mode_t mode = 0644);

// WriteFileAtomically of name (no "/" in it) in the folder that folderFd
// has open (O_PATH will do), whatever has been renamed or linked on the
// way to it since; shown is the path the messages name.
bool WriteFileAtomicallyAt(int folderFd, const std::string& name, const std::string& shown,
                           const std::string& data, std::string& error, mode_t mode = 0644);

enum class FileRead { kRead, kMissing, kRefused };

// Reads a whole data file without following a link at path, and only when
// it is a regular file of at most maxBytes bytes (a FIFO or a device is
// never opened for reading in earnest, so it cannot hang or flood us).
// kMissing when nothing is at path; kRefused with error "Cannot open file
// <path>: <reason>" otherwise.
FileRead ReadDataFile(const std::string& path, std::string& data, std::string& error,
                      std::size_t maxBytes = kDataFileMaxBytes);

// ReadDataFile that reports a missing file as a failure too. followLinks:
// for files named by the user (a link there is theirs), not for the
// program's own data and settings files.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error,
                   std::size_t maxBytes = kDataFileMaxBytes, bool followLinks = false);

// Reads a whole file that grants access (passwords, keys, who may
// connect), as sudo reads its own: refused, with the reason, unless every
// folder on the way and the file itself belong to root or the running user
// and nobody else may write them (see FolderRule::kNobodyElseWrites);
// links are followed only when they belong to root or the running user.
bool ReadTrustedFile(const std::string& path, std::string& data, std::string& error,
                     std::size_t maxBytes = kSettingsFileMaxBytes);

// Something, a link included, is at path.
bool FileExists(const std::string& path);

// Removes the temporary files that an interrupted WriteFileAtomically of
// one of names left in folder, and nothing else: only the hidden, marked
// names that WriteFileAtomically makes. A save that runs now in another copy of the
// program (a member's desktop program beside the service) keeps its file
// locked; one younger than minAge may not have taken its lock yet. Returns
// the paths removed.
std::vector<std::string> RemoveStaleTemporaryFiles(
    const std::string& folder, const std::vector<std::string>& names,
    std::chrono::seconds minAge = std::chrono::seconds(5));

}  // namespace qm
