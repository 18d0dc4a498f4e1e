// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

namespace qm {

// The running program file's full path (from /proc/self/exe); empty when
// the kernel does not say.
std::string ProgramFile();

// The folder of path without a closing "/" ("/" for a file at the root);
// empty when path names no folder.
std::string FolderOf(const std::string& path);

}  // namespace qm
