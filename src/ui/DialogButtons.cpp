#include "ui/DialogButtons.h"

#include <QDialog>
#include <QPushButton>

namespace qm {

void MakeOnlyDefault(QDialog& dialog, QPushButton& button) {
  for (QPushButton* other : dialog.findChildren<QPushButton*>()) {
    other->setAutoDefault(false);
    other->setDefault(false);
  }
  button.setDefault(true);
}

}  // namespace qm
