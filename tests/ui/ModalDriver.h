// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

namespace qm::test {

// Answers the modal dialogs a test opens, one step per dialog, in order, and
// keeps any test from hanging: past the watchdog's time every modal dialog
// still open is rejected and the driver reports failure.
class ModalDriver {
 public:
  using Action = std::function<void(QDialog&)>;

  explicit ModalDriver(int watchdogMs = 10000) : watchdogMs_(watchdogMs) {
    clock_.start();
    Schedule();
  }
  ~ModalDriver() { *alive_ = false; }
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  // The next modal dialog with this window title (any title when empty)
  // gets the action.
  ModalDriver& On(const QString& title, Action act) {
    steps_.push_back({title, std::move(act)});
    return *this;
  }

  // Every step ran and the watchdog never had to step in.
  bool Finished() const { return steps_.empty() && !timedOut_; }
  bool TimedOut() const { return timedOut_; }
  // The titles of the dialogs the driver answered, in order.
  const QStringList& Seen() const { return seen_; }

 private:
  struct Step {
    QString title;
    Action act;
  };

  void Schedule() {
    auto alive = alive_;
    QTimer::singleShot(5, [this, alive] {
      if (*alive) Poll();
    });
  }

  void Poll() {
    // The next poll is due also while the step below runs its own modal loop.
    Schedule();
    if (clock_.elapsed() > watchdogMs_) {
      ShutEverything();
      return;
    }
    if (last_ && !last_->isVisible()) last_ = nullptr;
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible() || modal == last_ || steps_.empty()) return;
    const Step& next = steps_.front();
    if (!next.title.isEmpty() && modal->windowTitle() != next.title) return;
    Action act = std::move(steps_.front().act);
    steps_.pop_front();
    last_ = modal;
    seen_.push_back(modal->windowTitle());
    act(*modal);
    // Closed by the step: the same dialog may be shown again before the
    // next poll.
    if (last_ && !last_->isVisible()) last_ = nullptr;
  }

  void ShutEverything() {
    timedOut_ = true;
    for (int guard = 0; guard < 20; ++guard) {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) break;
      if (auto* d = qobject_cast<QDialog*>(w)) {
        d->reject();
      } else {
        w->close();
      }
    }
  }

  int watchdogMs_;
  QElapsedTimer clock_;
  std::deque<Step> steps_;
  QPointer<QDialog> last_;
  QStringList seen_;
  bool timedOut_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Common answers.
inline void Accept(QDialog& d) {
  d.accept();
}
inline void Reject(QDialog& d) {
  d.reject();
}

// Presses Enter where the dialog's keyboard focus is, as a person does.
inline void PressEnter(QDialog& d) {
  QWidget* focus = d.focusWidget();
  QTest::keyClick(focus ? focus : &d, Qt::Key_Return);
}

// Types text into a text-entry box and presses OK.
inline ModalDriver::Action Type(const QString& text) {
  return [text](QDialog& d) {
    auto* box = qobject_cast<QInputDialog*>(&d);
    if (box) box->setTextValue(text);
    d.accept();
  };
}

// Notes a message box's text, then presses its button (or the given one).
inline ModalDriver::Action Note(QStringList* texts,
                                QMessageBox::StandardButton button = QMessageBox::NoButton) {
  return [texts, button](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    if (!box) {
      d.reject();
      return;
    }
    texts->push_back(box->text());
    if (button != QMessageBox::NoButton && box->button(button)) {
      box->button(button)->click();
    } else {
      box->buttons().front()->click();
    }
  };
}

}  // namespace qm::test
