// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/DesktopNotifications.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr int kTimeoutMs = 8000;

// The "image-data" hint: raw RGBA pixels, (iiibiiay).
struct NotificationImage {
  int width = 0, height = 0, rowStride = 0;
  bool hasAlpha = true;
  int bitsPerSample = 8, channels = 4;
  QByteArray data;
};

}  // namespace

Q_DECLARE_METATYPE(NotificationImage)

namespace {

QDBusArgument& operator<<(QDBusArgument& out, const NotificationImage& image) {
  out.beginStructure();
  out << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
      << image.channels << image.data;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, NotificationImage& image) {
  in.beginStructure();
  in >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample >>
      image.channels >> image.data;
  in.endStructure();
  return in;
}

}  // namespace

namespace qm {

DesktopNotifications::DesktopNotifications(QIcon icon, QObject* parent)
    : QObject(parent), icon_(std::move(icon)) {
  qDBusRegisterMetaType<NotificationImage>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                SLOT(ActionInvoked(uint, QString)));
  }
}

bool DesktopNotifications::Available() const {
  return QDBusConnection::sessionBus().isConnected();
}

void DesktopNotifications::Send(const QString& title, const QString& text) {
  QVariantMap hints;
  hints["desktop-entry"] = QStringLiteral("quillmoor98");
  // The icon goes along as pixels: the program's icon need not be
  // installed in the desktop's icon theme.
  const QImage image = icon_.pixmap(48, 48).toImage().convertToFormat(QImage::Format_RGBA8888);
  if (!image.isNull()) {
    NotificationImage pixels;
    pixels.width = image.width();
    pixels.height = image.height();
    pixels.rowStride = static_cast<int>(image.bytesPerLine());
    pixels.data = QByteArray(reinterpret_cast<const char*>(image.constBits()),
                             static_cast<qsizetype>(image.sizeInBytes()));
    hints["image-data"] = QVariant::fromValue(pixels);
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  call << QStringLiteral("Quillmoor 98") << lastId_ << QStringLiteral("quillmoor98") << title
       << text << QStringList{QStringLiteral("default"), QStringLiteral("Open Quillmoor 98")}
       << hints << kTimeoutMs;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, title, text] {
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
      emit Failed(title, text);
      return;
    }
    lastId_ = reply.value();
  });
}

void DesktopNotifications::ActionInvoked(uint id, const QString& action) {
  if (id != 0 && id == lastId_ && action == QLatin1String("default")) emit Activated();
}

}  // namespace qm
