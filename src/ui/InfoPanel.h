// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QColor>
#include <QGroupBox>
#include <QString>
#include <map>
#include <utility>
#include <vector>

class QGridLayout;
class QLabel;

namespace qm {

// A page's "Info" box: rows of a coloured caption and a value. The title
// is in an italic serif face; the rows keep the application's face. Every
// text reads at a contrast of at least 4.5:1 against what the style paints
// behind it (a style may tint a group box), in whatever scheme the desktop
// has and after every change of palette or style.
class InfoPanel : public QGroupBox {
  Q_OBJECT
 public:
  explicit InfoPanel(QWidget* parent = nullptr);

  // A row of caption and value; an empty caption gives a value across the
  // whole row. Returns the value label.
  QLabel* AddRow(const QString& caption, const QColor& colour);
  // After the last row: the rows keep to the top.
  void FinishRows();
  // A value's text, shortened in the middle to the room the value has, now
  // and whenever the room changes; the whole text is then its tooltip.
  void SetValue(QLabel* value, const QString& text);

 protected:
  bool event(QEvent* event) override;

 private:
  void ScheduleColours();
  void ApplyColours();
  void ApplyFonts();
  void FitValues();

  QGridLayout* grid_;
  int rows_ = 0;
  std::vector<std::pair<QLabel*, QColor>> captions_;
  std::vector<QLabel*> values_;
  std::map<QLabel*, QString> texts_;  // each value's whole text
  bool scheduled_ = false;
  bool stale_ = true;  // the colours wait for the panel to be shown
};

}  // namespace qm
