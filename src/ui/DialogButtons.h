// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

class QDialog;
class QPushButton;

namespace qm {

// Makes button the only one that Enter presses in the dialog: Qt lets Enter
// press the first push button of a dialog (or the one with the focus), and
// that may be one that clears a list or changes the password.
void MakeOnlyDefault(QDialog& dialog, QPushButton& button);

}  // namespace qm
