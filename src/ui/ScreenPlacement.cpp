// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/ScreenPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace qm {

QRect FitInto(const QRect& frame, const QRect& available) {
  if (available.isEmpty()) return frame;
  const int width = std::min(frame.width(), available.width());
  const int height = std::min(frame.height(), available.height());
  const int left = std::clamp(frame.left(), available.left(), available.right() - width + 1);
  const int top = std::clamp(frame.top(), available.top(), available.bottom() - height + 1);
  return QRect(left, top, width, height);
}

QRect AvailableAreaFor(const QRect& frame) {
  QScreen* screen = QGuiApplication::screenAt(frame.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

ScreenPlacement::ScreenPlacement(QObject* parent) : QObject(parent) {
  qApp->installEventFilter(this);
}

void ScreenPlacement::KeepOnScreen(QWidget& window) {
  // Until the window manager has framed the window its frame is unknown:
  // a title bar and thin borders are assumed.
  QMargins frame(window.geometry().left() - window.frameGeometry().left(),
                 window.geometry().top() - window.frameGeometry().top(),
                 window.frameGeometry().right() - window.geometry().right(),
                 window.frameGeometry().bottom() - window.geometry().bottom());
  const bool framed = !frame.isNull();
  if (!framed) {
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    frame = QMargins(4, std::max(title, 24), 4, 4);
  }
  // pos() is where the frame starts, shown or not.
  const QRect outer(window.pos(), window.size().grownBy(frame));
  const QRect fitted = FitInto(outer, AvailableAreaFor(outer));
  if (fitted == outer) return;
  const QSize inner = fitted.size().shrunkBy(frame);
  if (inner != window.size() && window.minimumSize() != window.maximumSize()) {
    window.resize(inner.expandedTo(window.minimumSize()));
  }
  // A window that has its native window but no frame yet (as it is being
  // shown) takes a move as the position of its client area.
  const bool clientPosition = window.testAttribute(Qt::WA_WState_Created) && !framed;
  window.move(fitted.topLeft() + (clientPosition ? QPoint(frame.left(), frame.top()) : QPoint()));
}

bool ScreenPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    // Menus and tooltips place themselves; only real windows are kept.
    const Qt::WindowType type = widget->windowType();
    if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog)) KeepOnScreen(*widget);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qm
