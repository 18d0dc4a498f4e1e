// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QMediaDevices>
#include <QObject>
#include <QString>
#include <functional>

#include "core/Settings.h"

class QSoundEffect;

namespace qm {

// The alert on a new connection: the built-in siren or a wave file of the
// user's choice, played without waiting. A new sound cuts off the one still
// playing. Whatever cannot be played gives the platform's beep instead, and
// so does a computer without an audio output.
class AlertSound final : public QObject {
  Q_OBJECT

 public:
  explicit AlertSound(QObject* parent = nullptr);
  ~AlertSound() override;

  // The siren when Standard is set, otherwise SoundFile (the beep when no
  // file is chosen).
  void PlayAlertSound(const Settings& settings);
  void PlaySiren();
  void PlayFile(const QString& path);
  void Stop();

  // The stand-in for a sound that cannot be played; QApplication::beep
  // unless replaced.
  void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }
  bool HasAudioOutput() const { return hasOutput_; }
  // What is playing or about to play: the siren, a file's path, or "".
  QString Playing() const;

 private:
  void Start(QSoundEffect& effect);
  QSoundEffect& Effect(QSoundEffect*& effect, const QUrl& source);
  void Beep();

  QMediaDevices devices_;
  bool hasOutput_ = false;
  QSoundEffect* siren_ = nullptr;
  QSoundEffect* custom_ = nullptr;
  QSoundEffect* current_ = nullptr;
  std::function<void()> beep_;
};

}  // namespace qm
