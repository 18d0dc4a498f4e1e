// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "core/Text.h"

namespace qm {

namespace {

const QString kTitle = QStringLiteral("Quillmoor 98");

}  // namespace

int QtMessageBoxes::Run(QDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (onShow_) onShow_(dialog);
  return dialog.exec();
}

void QtMessageBoxes::Information(const std::string& text) {
  QMessageBox box(QMessageBox::Information, kTitle, QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  Run(box);
}

void QtMessageBoxes::Error(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, kTitle, QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  Run(box);
}

bool QtMessageBoxes::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kTitle, QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return Run(box) == QMessageBox::Yes;
}

std::string QtMessageBoxes::Prompt(const std::string& caption, const std::string& prompt) {
  return PromptOrCancel(caption, prompt).value_or(std::string());
}

std::optional<std::string> QtMessageBoxes::PromptOrCancel(const std::string& caption,
                                                          const std::string& prompt) {
  QInputDialog box(parent_);
  box.setInputMode(QInputDialog::TextInput);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setLabelText(QString::fromStdString(prompt));
  box.setTextEchoMode(QLineEdit::Password);
  box.setTextValue(QString());
  if (auto* edit = box.findChild<QLineEdit*>()) {
    edit->setMaxLength(2 * kMaxPromptLength);
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
      const std::string whole = text.toStdString();
      const std::string_view kept = CutUtf8Characters(whole, kMaxPromptLength);
      if (kept.size() < whole.size()) edit->setText(QString::fromUtf8(kept.data(), kept.size()));
    });
    // The window manager cuts a title longer than the box: the field makes
    // the box wide enough for the title between the title bar's buttons.
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    edit->setMinimumWidth(title.horizontalAdvance(box.windowTitle()) + 160);
  }
  if (Run(box) != QDialog::Accepted) return std::nullopt;
  return std::string(CutUtf8Characters(box.textValue().toStdString(), kMaxPromptLength));
}

}  // namespace qm
