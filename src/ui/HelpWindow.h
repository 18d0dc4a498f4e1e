#pragma once

#include <QString>

class QWidget;

namespace qm {

// Shows the help file (HTML inside) in our own help window.
void ShowHelpWindow(const QString& helpFile, QWidget* parent);

}  // namespace qm
