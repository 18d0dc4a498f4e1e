// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/HelpWindow.h"

#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qm {

void ShowHelpWindow(const QStringList& helpFiles, QWidget* parent) {
  static QPointer<QDialog> window;
  if (!window) {
    window = new QDialog(parent);
    window->setWindowTitle("Quillmoor 98 Help");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(640, 560);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser(window);
    browser->setObjectName("HelpBrowser");
    browser->setAccessibleName("Help");
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    QString error;
    for (const QString& helpFile : helpFiles) {
      QFile file(helpFile);
      if (file.open(QIODevice::ReadOnly)) {
        browser->setHtml(QString::fromUtf8(file.readAll()));
        error.clear();
        break;
      }
      // The first place is the one to name when none can be read.
      if (error.isEmpty()) {
        error = QStringLiteral("<h2>Help</h2><p>The help file %1 cannot be read: %2.</p>")
                    .arg(helpFile.toHtmlEscaped(), file.errorString().toHtmlEscaped());
      }
    }
    if (!error.isEmpty()) browser->setHtml(error);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace qm
