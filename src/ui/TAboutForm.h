// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace qm {

// "About": the program's name, version and makers, with a link to our web
// page that opens in the default browser while the box stays open.
class TAboutForm final : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutForm(QWidget* parent = nullptr);

  static const QUrl kWebPage;

  void ShowModal() { exec(); }
  // How the link is opened; QDesktopServices::openUrl unless replaced.
  void SetOpenUrl(std::function<bool(const QUrl&)> openUrl) { openUrl_ = std::move(openUrl); }

  QLabel* TitleLabel = nullptr;
  QLabel* BuildLabel = nullptr;
  QLabel* PlatformLabel = nullptr;
  QLabel* CreatedByLabel = nullptr;
  QLabel* ContactLabel = nullptr;
  QLabel* IconImage = nullptr;
  QLabel* WebLinkLabel = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyColours();
  void WebLinkClick();

  std::function<bool(const QUrl&)> openUrl_;
};

}  // namespace qm
