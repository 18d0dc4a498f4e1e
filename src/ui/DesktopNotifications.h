// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

namespace qm {

// Notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus): each one replaces the
// one before, carries the program's icon, and its default action ("Open
// Quillmoor 98") asks for the main window. Nothing here waits for the
// service: a failed call is reported as Failed, for the caller's fallback.
class DesktopNotifications final : public QObject {
  Q_OBJECT

 public:
  explicit DesktopNotifications(QIcon icon, QObject* parent = nullptr);

  // A session bus is there to ask; without one the caller falls back at once.
  bool Available() const;
  void Send(const QString& title, const QString& text);

 signals:
  void Activated();
  void Failed(const QString& title, const QString& text);

 private slots:
  void ActionInvoked(uint id, const QString& action);

 private:
  QIcon icon_;
  uint lastId_ = 0;
};

}  // namespace qm
