// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/SpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

namespace qm {

SpinEdit::SpinEdit(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum, maximum);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setKeyboardTracking(true);
  // Typing: the line edit's own signal, as QSpinBox reports a text change
  // only when it makes a value in range. Stepping: the value's signal, as
  // QSpinBox rewrites its text without a signal.
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] { emit ValueEdited(Value()); });
  connect(this, &QSpinBox::valueChanged, this, [this] { emit ValueEdited(Value()); });
}

int SpinEdit::ValueOf(const QString& text) const {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  if (!ok) return minimum();
  return std::clamp(v, minimum(), maximum());
}

bool SpinEdit::Typeable(QChar c) const {
  return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') ||
         c == locale().decimalPoint().front();
}

void SpinEdit::Clamp() {
  SetValue(Value());
}

void SpinEdit::SetValue(int value) {
  setValue(value);
  emit ValueEdited(Value());
}

QValidator::State SpinEdit::validate(QString& input, int& /*pos*/) const {
  for (const QChar c : input) {
    if (!Typeable(c)) return QValidator::Invalid;
  }
  bool ok = false;
  const int v = input.toInt(&ok);
  return ok && v >= minimum() && v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void SpinEdit::fixup(QString& input) const {
  input = QString::number(ValueOf(input));
}

int SpinEdit::valueFromText(const QString& text) const {
  return ValueOf(text);
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Clamp();
      emit EnterPressed();
      event->accept();
      return;
    case Qt::Key_Escape:
      event->ignore();
      return;
    default:
      break;
  }
  const QString typed = event->text();
  const bool control = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
  if (!control && !typed.isEmpty() && typed.front().isPrint() && !Typeable(typed.front())) {
    if (beep_) {
      beep_();
    } else {
      QApplication::beep();
    }
    event->accept();
    return;
  }
  QSpinBox::keyPressEvent(event);
}

}  // namespace qm
