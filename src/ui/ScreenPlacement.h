// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QObject>
#include <QRect>

class QWidget;

namespace qm {

// The frame rect moved, and where it is larger cut, so that it lies within
// the available area: a stored position from another screen, another
// resolution or another scale factor never leaves a window unreachable.
QRect FitInto(const QRect& frame, const QRect& available);

// The available area (without panels and docks) of the screen that holds
// the rect's centre, or of the primary screen when none does.
QRect AvailableAreaFor(const QRect& frame);

// Keeps every top-level window of the program on a visible screen area as
// it is shown: dialogs, message boxes and the main window alike (a dialog
// is centred on its parent, which may itself stand partly off screen).
class ScreenPlacement final : public QObject {
  Q_OBJECT

 public:
  explicit ScreenPlacement(QObject* parent = nullptr);
  // Moves (and for a resizable window shrinks) the window onto the
  // available area; the title bar's height is estimated until the window
  // manager has framed it.
  static void KeepOnScreen(QWidget& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qm
