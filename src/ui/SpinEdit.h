// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QSpinBox>
#include <functional>

namespace qm {

// A numeric field with up and down arrows. Any number can be typed, also
// one outside the range; it is brought to the nearest bound when the focus
// leaves or on Clamp(). Text that is not a number stands for the lower
// bound. Characters other than digits, signs and the decimal separator are
// refused with a beep. Enter is reported (the dialog confirms); Escape is
// left to the dialog.
class SpinEdit final : public QSpinBox {
  Q_OBJECT

 public:
  SpinEdit(int minimum, int maximum, QWidget* parent = nullptr);

  // The value the text stands for, within the range.
  int Value() const { return ValueOf(text()); }
  // The text becomes Value().
  void Clamp();
  // Sets the value and reports it, also when only the text changes.
  void SetValue(int value);
  // The stand-in for a refused key; QApplication::beep unless replaced.
  void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

 signals:
  // Every change of the text, with the value it stands for.
  void ValueEdited(int value);
  void EnterPressed();

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  int valueFromText(const QString& text) const override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int ValueOf(const QString& text) const;
  bool Typeable(QChar c) const;

  std::function<void()> beep_;
};

}  // namespace qm
