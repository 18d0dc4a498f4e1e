// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/InfoPanel.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "ui/ReadableColour.h"

namespace qm {

namespace {
// What the window paints behind the panel's rows: the panel's own painting
// and that of every widget it lies in, each without its children, from the
// window down. A style may tint a tab page or a group box, so the palette's
// window colour is not always what the text stands on.
QImage Backdrop(QWidget* panel) {
  std::vector<QWidget*> chain;
  for (QWidget* w = panel; w; w = w->isWindow() ? nullptr : w->parentWidget()) chain.push_back(w);
  QImage image(panel->size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(chain.back()->palette().color(chain.back()->backgroundRole()));
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    QWidget* w = *it;
    const QRect area(panel->mapTo(w, QPoint(0, 0)), panel->size());
    w->render(&image, QPoint(), QRegion(area),
              w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
  }
  return image;
}
}  // namespace

InfoPanel::InfoPanel(QWidget* parent) : QGroupBox("Info", parent), grid_(new QGridLayout(this)) {
  QFont title("serif");
  title.setItalic(true);
  title.setStyleHint(QFont::Serif);
  setFont(title);
  grid_->setVerticalSpacing(3);
  grid_->setHorizontalSpacing(4);
}

QLabel* InfoPanel::AddRow(const QString& caption, const QColor& colour) {
  auto* value = new QLabel(this);
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  values_.push_back(value);
  if (caption.isEmpty()) {
    grid_->addWidget(value, rows_, 0, 1, 2);
  } else {
    auto* label = new QLabel(caption, this);
    captions_.push_back({label, colour});
    grid_->addWidget(label, rows_, 0);
    grid_->addWidget(value, rows_, 1);
  }
  ++rows_;
  ApplyFonts();
  ScheduleColours();
  return value;
}

void InfoPanel::FinishRows() {
  grid_->setRowStretch(rows_, 1);
}

void InfoPanel::SetValue(QLabel* value, const QString& text) {
  texts_[value] = text;
  const int room = std::max(40, value->width());
  const QString shown = value->fontMetrics().elidedText(text, Qt::ElideMiddle, room);
  value->setText(shown);
  value->setToolTip(shown == text ? QString() : text);
}

void InfoPanel::FitValues() {
  for (const auto& [value, text] : texts_) SetValue(value, text);
}

void InfoPanel::ApplyFonts() {
  // Every property set, so that none is taken from the title's face.
  QFont plain = QApplication::font();
  plain.setResolveMask(QFont::AllPropertiesResolved);
  for (const auto& caption : captions_) caption.first->setFont(plain);
  for (QLabel* value : values_) value->setFont(plain);
  FitValues();
}

void InfoPanel::ScheduleColours() {
  // Once the whole change has reached every widget: a scheme change
  // reaches the widgets one by one, in no set order.
  if (scheduled_) return;
  scheduled_ = true;
  QTimer::singleShot(0, this, [this] { ApplyColours(); });
}

void InfoPanel::ApplyColours() {
  scheduled_ = false;
  const QPalette scheme = window()->palette();
  const bool shown = isVisible() && !size().isEmpty();
  stale_ = !shown;
  const QImage backdrop = shown ? Backdrop(this) : QImage();
  auto background = [&](const QLabel* label) {
    const QPoint at = label->geometry().center();
    return backdrop.valid(at) ? QColor(backdrop.pixel(at)) : scheme.color(QPalette::Window);
  };
  auto paint = [](QLabel* label, const QColor& colour) {
    QPalette own;
    own.setColor(QPalette::WindowText, colour);
    label->setPalette(own);
  };
  for (const auto& [label, colour] : captions_) paint(label, ReadableOn(colour, background(label)));
  for (QLabel* value : values_) {
    paint(value, ReadableOn(scheme.color(QPalette::WindowText), background(value)));
  }
}

bool InfoPanel::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ApplicationFontChange:
      // The rows' faces are set whole, so they follow the application's here.
      ApplyFonts();
      ScheduleColours();
      break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
      ScheduleColours();
      break;
    case QEvent::Show:
      if (stale_) ScheduleColours();
      break;
    case QEvent::Resize:
      // A value set while the window was hidden was fitted to no room.
      FitValues();
      break;
    default:
      break;
  }
  return QGroupBox::event(event);
}

}  // namespace qm
