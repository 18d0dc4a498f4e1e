// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <sys/types.h>

#include <string>

#include "os/FileDescriptor.h"

namespace qm {

// Paths opened one name at a time, each name with O_NOFOLLOW, so that a
// symbolic link somebody else planted on the way leads nowhere: a link is
// followed only when it belongs to root or to the running user. A process
// of root therefore never follows a link a user made, whatever folder it
// sits in, and the kernel's own rule for sticky folders is kept everywhere.
enum class FolderRule {
  // Any folder may be passed through.
  kAny,
  // Every folder passed through, and the file at the end, belongs to root
  // or to the running user, and nobody else may write it: neither another
  // user (world-writable) nor a group other than root's; a world- or
  // group-writable folder is passed only when it is sticky. The rule for
  // files that grant access (passwords, keys, who may connect).
  kNobodyElseWrites,
};

// Opens path (absolute, or relative to the working folder) with flags
// (O_NOFOLLOW and O_CLOEXEC are added; O_CREAT creates only the last name,
// never through a link). An invalid descriptor and why in words ("will
// not follow the symbolic link /run/user/1000/quillmoor98: it belongs to
// user 1000", "/etc/qm/web.yml is writable by group 1001") when refused,
// errno set as the failing call left it (EPERM for a refusal).
FileDescriptor OpenTrusted(const std::string& path, int flags, FolderRule rule, std::string& why,
                           mode_t mode = 0600);

// The real path of what path names when it can be reached by OpenTrusted's
// rule for links; empty when not (missing, or a foreign link on the way).
std::string TrustedRealPath(const std::string& path);

// A folder for the running user's runtime files (a socket, a lock): reached
// by OpenTrusted, made (mode 0700) when missing and create is set (only in
// a folder nobody else may write), and then a folder of root's or the
// running user's that nobody else may write, a sticky one aside. Refused
// with why otherwise ("/run/user/1000 belongs to user 1000").
FileDescriptor OpenOwnFolder(const std::string& path, bool create, std::string& why);

// path under a descriptor's folder, for calls that take no descriptor
// (bind, connect): "/proc/self/fd/N/name", which the kernel resolves to that
// very folder whatever has been renamed or linked since it was opened.
std::string PathUnderDescriptor(int folderFd, const std::string& name);

}  // namespace qm
