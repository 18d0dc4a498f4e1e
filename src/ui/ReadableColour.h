// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QColor>

namespace qm {

// The contrast ratio of two colours by the WCAG formula: 1 (the same) to
// 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// The colour as near to wanted as keeps a contrast of at least minimum
// against background: wanted itself when it does, else lightened on a
// dark background and darkened on a light one.
QColor ReadableOn(const QColor& wanted, const QColor& background, double minimum = 4.5);

}  // namespace qm
