#pragma once

#include <QStringList>

class QWidget;

namespace qm {

// Shows the help file (HTML inside) in our own help window: the first of
// the given places that can be read.
void ShowHelpWindow(const QStringList& helpFiles, QWidget* parent);

}  // namespace qm
