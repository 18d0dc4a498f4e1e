// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include "core/Ports.h"

namespace qm {

ShellOpen::ShellOpen(MessageBoxes& messages, Opener opener, HandlerQuery query)
    : messages_(messages), opener_(std::move(opener)), query_(std::move(query)) {
  if (!opener_) opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  if (!query_) {
    query_ = [](const QString& scheme, std::function<void(bool)> answer) {
      auto* mime = new QProcess(qApp);
      QObject::connect(mime, &QProcess::finished, mime, [mime, answer](int code) {
        mime->deleteLater();
        answer(code != 0 || !mime->readAllStandardOutput().trimmed().isEmpty());
      });
      // Without the tool the opener finds out for itself.
      QObject::connect(mime, &QProcess::errorOccurred, mime,
                       [mime, answer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         mime->deleteLater();
                         answer(true);
                       });
      mime->start("xdg-mime", {"query", "default", "x-scheme-handler/" + scheme});
    };
  }
}

ShellOpen::~ShellOpen() = default;

QUrl ShellOpen::ComputerUrl(const std::string& name) {
  // A client name may hold anything: it goes into the address percent-encoded.
  const QByteArray host = QUrl::toPercentEncoding(QString::fromStdString(name));
  return QUrl(QStringLiteral("smb://") + QString::fromLatin1(host) + QStringLiteral("/"),
              QUrl::StrictMode);
}

void ShellOpen::OpenComputer(const std::string& name) {
  if (name.empty()) {
    messages_.Information("Computer is not accessible");
    return;
  }
  const QUrl url = ComputerUrl(name);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  std::weak_ptr<bool> alive = alive_;
  query_(url.scheme(), [this, alive, url](bool found) {
    QGuiApplication::restoreOverrideCursor();
    if (alive.expired()) return;
    if (!found) {
      messages_.Information(kNoBrowser);
    } else if (!opener_(url)) {
      messages_.Information("Computer is not accessible: the desktop could not open " +
                            url.toString().toStdString());
    }
  });
}

void ShellOpen::OpenFile(const std::string& path) {
  const QFileInfo file(QString::fromStdString(path));
  if (!file.absoluteDir().exists()) {
    messages_.Information("Path not found");
    return;
  }
  if (!file.exists()) {
    messages_.Information("File not found");
    return;
  }
  // The file is there: what failed is the desktop's handler for its type.
  if (!opener_(QUrl::fromLocalFile(file.absoluteFilePath()))) {
    messages_.Information(kNoProgram);
  }
}

}  // namespace qm
