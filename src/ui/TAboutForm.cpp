// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TAboutForm.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ReadableColour.h"

namespace qm {

const QUrl TAboutForm::kWebPage(QStringLiteral("https://quillmoor98.example.org"));

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  // A title bar without buttons: "OK" is the way out. On X11 Qt gives
  // exactly these flags as Motif hints that allow moving and resizing only,
  // which a window manager that follows those hints (Xfce's, GNOME's,
  // KDE's) shows without buttons; Openbox keeps its buttons whatever a
  // window asks.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  TitleLabel = new QLabel(QStringLiteral(" Quillmoor 98 Version 1.1"));
  QFont title(QStringLiteral("Serif"));
  title.setStyleHint(QFont::Serif);
  title.setPointSize(20);
  title.setItalic(true);
  title.setBold(true);
  TitleLabel->setFont(title);
  TitleLabel->setAutoFillBackground(true);

  QFont italic = font();
  italic.setItalic(true);
  BuildLabel = new QLabel(QStringLiteral("Build 2.10"));
  QFont small = italic;
  small.setPointSizeF(italic.pointSizeF() * 0.85);
  BuildLabel->setFont(small);
  BuildLabel->setAlignment(Qt::AlignRight);
  PlatformLabel = new QLabel(QStringLiteral("for Windows 95/98 & WindowsNT"));
  PlatformLabel->setTextFormat(Qt::PlainText);
  PlatformLabel->setFont(italic);

  CreatedByLabel = new QLabel(QStringLiteral("Created by: "));
  ContactLabel = new QLabel(QStringLiteral("The Quillmoor 98 developers\nquillmoor98@example.org"));
  ContactLabel->setTextFormat(Qt::PlainText);
  ContactLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  IconImage = new QLabel;
  IconImage->setFixedSize(33, 32);
  IconImage->setPixmap(QIcon(QStringLiteral(":/icons/IDI_ICON1.svg")).pixmap(QSize(33, 32)));
  IconImage->setScaledContents(true);

  WebLinkLabel = new QLabel(kWebPage.toString());
  WebLinkLabel->setTextFormat(Qt::PlainText);
  WebLinkLabel->setCursor(Qt::PointingHandCursor);
  WebLinkLabel->setToolTip(QStringLiteral("Click to Browse our Web Site"));
  WebLinkLabel->installEventFilter(this);
  ApplyColours();

  OKButton = new QPushButton(QStringLiteral("OK"));
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* body = new QGridLayout;
  body->addWidget(PlatformLabel, 0, 0, 1, 2);
  body->addWidget(CreatedByLabel, 1, 0, Qt::AlignTop);
  body->addWidget(ContactLabel, 1, 1, Qt::AlignTop);
  body->addWidget(IconImage, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  body->addWidget(WebLinkLabel, 2, 0, 1, 3);
  body->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(TitleLabel);
  layout->addWidget(BuildLabel);
  layout->addLayout(body);
  layout->addWidget(OKButton);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == WebLinkLabel && event->type() == QEvent::MouseButtonRelease) {
    WebLinkClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutForm::WebLinkClick() {
  if (openUrl_) {
    openUrl_(kWebPage);
  } else {
    QDesktopServices::openUrl(kWebPage);
  }
}

void TAboutForm::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyColours();
}

void TAboutForm::ApplyColours() {
  // The olive title on yellow and the blue link, as near as reads (a dark
  // scheme lightens the link).
  TitleLabel->setStyleSheet(QStringLiteral("color: %1; background-color: #ffff00;")
                                .arg(ReadableOn(QColor(0x80, 0x80, 0), Qt::yellow).name()));
  WebLinkLabel->setStyleSheet(
      QStringLiteral("color: %1; text-decoration: underline;")
          .arg(ReadableOn(Qt::blue, palette().color(QPalette::Window)).name()));
}

}  // namespace qm
