#include "ui/ShellOpen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include "core/Ports.h"

namespace qm {

ShellOpen::ShellOpen(MessageBoxes& messages, Opener opener)
    : messages_(messages), opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

QUrl ShellOpen::ComputerUrl(const std::string& name) {
  // A client name may hold anything: it goes into the address percent-encoded.
  const QByteArray host = QUrl::toPercentEncoding(QString::fromStdString(name));
  return QUrl(QStringLiteral("smb://") + QString::fromLatin1(host) + QStringLiteral("/"),
              QUrl::StrictMode);
}

void ShellOpen::OpenComputer(const std::string& name) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const bool opened = !name.empty() && opener_(ComputerUrl(name));
  QGuiApplication::restoreOverrideCursor();
  if (!opened) messages_.Information("Computer is not accessible");
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
