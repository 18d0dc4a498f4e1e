// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "core/Ports.h"

class QDialog;

namespace qm {

// The program's modal boxes as Qt dialogs: information and error boxes with
// one OK button, the Yes/No confirmation, and the text-entry box of the
// password prompts (typing hidden, at most 255 characters).
class QtMessageBoxes final : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}

  void Information(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  std::string Prompt(const std::string& caption, const std::string& prompt) override;
  std::optional<std::string> PromptOrCancel(const std::string& caption,
                                            const std::string& prompt) override;

  // Called with each box just before it runs modally: a test answers it
  // from here (a queued click), so no box waits for a person.
  void SetOnShow(std::function<void(QDialog&)> onShow) { onShow_ = std::move(onShow); }

  // Characters (not UTF-16 units: a character outside the basic plane is
  // one character, as the stored password counts it).
  static constexpr int kMaxPromptLength = 255;

 private:
  int Run(QDialog& dialog);

  QPointer<QWidget> parent_;
  std::function<void(QDialog&)> onShow_;
};

}  // namespace qm
