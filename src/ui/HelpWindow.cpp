#include "ui/HelpWindow.h"

#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qm {

void ShowHelpWindow(const QString& helpFile, QWidget* parent) {
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
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    QFile file(helpFile);
    if (file.open(QIODevice::ReadOnly)) {
      browser->setHtml(QString::fromUtf8(file.readAll()));
    } else {
      browser->setHtml(QStringLiteral("<h2>Help</h2><p>The help file %1 cannot be read: %2.</p>")
                           .arg(helpFile.toHtmlEscaped(), file.errorString().toHtmlEscaped()));
    }
  }
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace qm
