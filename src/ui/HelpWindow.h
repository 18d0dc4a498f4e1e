// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QStringList>

class QWidget;

namespace qm {

// Shows the help file (HTML inside) in our own help window: the first of
// the given places that can be read.
void ShowHelpWindow(const QStringList& helpFiles, QWidget* parent);

}  // namespace qm
