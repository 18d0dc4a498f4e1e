// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <string>

#include "os/ProgramFile.h"

namespace qm {

// The folder of the program file without a closing "/", or
// $QUILLMOOR98_PROGRAM_DIR when set; an installed build may give its own
// default (a folder under /var/lib) through installedDefault.
std::string ProgramDirectoryFor(const std::string& programFile,
                                const std::string& installedDefault = "");

// The settings folder: $QUILLMOOR98_SYSCONFDIR, default /etc.
std::string SysconfDir();

// folder + "/" + name.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace qm
