// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/AlertSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace qm {

namespace {

const QUrl kSiren(QStringLiteral("qrc:/sounds/siren.wav"));

// A file worth handing to the player: a readable RIFF/WAVE file. Anything
// else would only fail later, out of sight.
bool LooksLikeWave(const QString& path) {
  QFile f(path);
  if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = f.read(12);
  return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

}  // namespace

AlertSound::AlertSound(QObject* parent) : QObject(parent) {
  hasOutput_ = !QMediaDevices::audioOutputs().isEmpty();
  connect(&devices_, &QMediaDevices::audioOutputsChanged, this,
          [this] { hasOutput_ = !QMediaDevices::audioOutputs().isEmpty(); });
}

AlertSound::~AlertSound() = default;

void AlertSound::PlayAlertSound(const Settings& settings) {
  if (settings.Standard) {
    PlaySiren();
  } else {
    PlayFile(QString::fromStdString(settings.SoundFile));
  }
}

void AlertSound::PlaySiren() {
  Stop();
  if (!hasOutput_) {
    Beep();
    return;
  }
  Start(Effect(siren_, kSiren));
}

void AlertSound::PlayFile(const QString& path) {
  Stop();
  if (!hasOutput_ || path.isEmpty() || !LooksLikeWave(path)) {
    Beep();
    return;
  }
  Start(Effect(custom_, QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())));
}

void AlertSound::Stop() {
  if (current_) current_->stop();
  current_ = nullptr;
}

QString AlertSound::Playing() const {
  if (!current_) return {};
  return current_ == siren_ ? QStringLiteral("siren") : current_->source().toLocalFile();
}

QSoundEffect& AlertSound::Effect(QSoundEffect*& effect, const QUrl& source) {
  if (!effect) {
    effect = new QSoundEffect(this);
    // A sound that turns out not to be playable still alerts, by a beep.
    connect(effect, &QSoundEffect::statusChanged, this, [this, e = effect] {
      if (e->status() != QSoundEffect::Error || current_ != e) return;
      current_ = nullptr;
      Beep();
    });
  }
  if (effect->source() != source) effect->setSource(source);
  return *effect;
}

void AlertSound::Start(QSoundEffect& effect) {
  current_ = &effect;
  if (effect.status() == QSoundEffect::Error) {
    current_ = nullptr;
    Beep();
    return;
  }
  effect.play();
}

void AlertSound::Beep() {
  if (beep_) {
    beep_();
  } else {
    QApplication::beep();
  }
}

}  // namespace qm
