// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The alert sound: the embedded siren's format, and what is played or
// beeped for each choice. Nothing here waits for a sound to end.
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "ui/AlertSound.h"

namespace qm {

namespace {

quint32 U32(const QByteArray& b, int at) {
  return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData()) + at);
}
quint16 U16(const QByteArray& b, int at) {
  return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(b.constData()) + at);
}

constexpr int kHeader = 44;
constexpr int kSamples = 59165;
constexpr int kRate = 22050;

// Crossings of the middle line in the 50 ms around a moment: twice the pitch
// in hertz, over 20.
int Crossings(const QByteArray& wave, double seconds) {
  const int half = kRate / 40;
  const int centre = static_cast<int>(seconds * kRate);
  const int from = std::max(1, centre - half);
  const int to = std::min(kSamples - 1, centre + half);
  int n = 0;
  for (int i = from; i < to; ++i) {
    const int a = static_cast<uchar>(wave[kHeader + i - 1]) - 128;
    const int b = static_cast<uchar>(wave[kHeader + i]) - 128;
    if ((a < 0) != (b < 0)) ++n;
  }
  return n;
}

}  // namespace

class AlertSoundTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void SirenIsMonoPcm8BitAt22050WithItsSampleCount();
  void SirenRisesAndFallsTwice();
  void NoFileChosenBeeps();
  void FileThatCannotBePlayedBeeps();
  void WithoutAudioOutputEverySoundBeepsAtOnce();
  void NewSoundCutsOffThePlayingOne();

 private:
  int beeps_ = 0;
};

void AlertSoundTest::init() {
  beeps_ = 0;
}

void AlertSoundTest::SirenIsMonoPcm8BitAt22050WithItsSampleCount() {
  QFile f(QStringLiteral(":/sounds/siren.wav"));
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray w = f.readAll();
  QCOMPARE(w.left(4), QByteArray("RIFF"));
  QCOMPARE(U32(w, 4), static_cast<quint32>(w.size() - 8));
  QCOMPARE(w.mid(8, 4), QByteArray("WAVE"));
  QCOMPARE(w.mid(12, 4), QByteArray("fmt "));
  QCOMPARE(U32(w, 16), 16u);
  QCOMPARE(U16(w, 20), quint16(1));  // PCM
  QCOMPARE(U16(w, 22), quint16(1));  // one channel
  QCOMPARE(U32(w, 24), 22050u);      // samples per second
  QCOMPARE(U32(w, 28), 22050u);      // bytes per second
  QCOMPARE(U16(w, 32), quint16(1));  // block align
  QCOMPARE(U16(w, 34), quint16(8));  // bits per sample
  QCOMPARE(w.mid(36, 4), QByteArray("data"));
  QCOMPARE(U32(w, 40), static_cast<quint32>(kSamples));
  // The odd-sized data chunk is padded to an even size.
  QCOMPARE(w.size(), kHeader + kSamples + 1);
}

void AlertSoundTest::SirenRisesAndFallsTwice() {
  QFile f(QStringLiteral(":/sounds/siren.wav"));
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray w = f.readAll();
  QCOMPARE(w.size(), kHeader + kSamples + 1);
  uchar low = 255, high = 0;
  for (int i = 0; i < kSamples; ++i) {
    low = std::min(low, static_cast<uchar>(w[kHeader + i]));
    high = std::max(high, static_cast<uchar>(w[kHeader + i]));
  }
  QVERIFY2(low < 40 && high > 215, "the siren is loud, without clipping to silence");
  // Fades in and out: no click at either end.
  QVERIFY(std::abs(static_cast<uchar>(w[kHeader]) - 128) <= 2);
  QVERIFY(std::abs(static_cast<uchar>(w[kHeader + kSamples - 1]) - 128) <= 2);
  const double cycle = static_cast<double>(kSamples) / kRate / 2;
  const int bottom1 = Crossings(w, 0.05);
  const int top1 = Crossings(w, cycle / 2);
  const int bottom2 = Crossings(w, cycle);
  const int top2 = Crossings(w, 1.5 * cycle);
  QVERIFY2(top1 > 2 * bottom1, qPrintable(QString("%1 vs %2").arg(top1).arg(bottom1)));
  QVERIFY2(top1 > 2 * bottom2, qPrintable(QString("%1 vs %2").arg(top1).arg(bottom2)));
  QVERIFY2(top2 > 2 * bottom2, qPrintable(QString("%1 vs %2").arg(top2).arg(bottom2)));
  // The pitch stays in the range of an alarm: roughly 500 to 1600 Hz.
  for (int n : {bottom1, top1, bottom2, top2}) QVERIFY(n > 45 && n < 165);
}

void AlertSoundTest::NoFileChosenBeeps() {
  AlertSound sound;
  sound.SetBeep([this] { ++beeps_; });
  Settings s;
  s.Standard = false;
  s.SoundFile = "";
  sound.PlayAlertSound(s);
  QCOMPARE(beeps_, 1);
  QVERIFY(sound.Playing().isEmpty());
}

void AlertSoundTest::FileThatCannotBePlayedBeeps() {
  AlertSound sound;
  sound.SetBeep([this] { ++beeps_; });
  QTemporaryDir dir;
  const QString text = dir.filePath(QStringLiteral("notes.wav"));
  QFile f(text);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("this is not a wave file at all");
  f.close();
  sound.PlayFile(text);
  sound.PlayFile(dir.filePath(QStringLiteral("missing.wav")));
  sound.PlayFile(dir.path());  // a folder
  QCOMPARE(beeps_, 3);
  QVERIFY(sound.Playing().isEmpty());
}

void AlertSoundTest::WithoutAudioOutputEverySoundBeepsAtOnce() {
  AlertSound sound;
  if (sound.HasAudioOutput()) QSKIP("this computer has an audio output");
  sound.SetBeep([this] { ++beeps_; });
  Settings s;
  s.Standard = true;
  sound.PlayAlertSound(s);
  QCOMPARE(beeps_, 1);
  // A good wave file of the user's choice beeps as well.
  QTemporaryDir dir;
  const QString copy = dir.filePath(QStringLiteral("alarm.wav"));
  QVERIFY(QFile::copy(QStringLiteral(":/sounds/siren.wav"), copy));
  s.Standard = false;
  s.SoundFile = copy.toStdString();
  sound.PlayAlertSound(s);
  QCOMPARE(beeps_, 2);
  QVERIFY(sound.Playing().isEmpty());
}

void AlertSoundTest::NewSoundCutsOffThePlayingOne() {
  AlertSound sound;
  if (!sound.HasAudioOutput()) QSKIP("this computer has no audio output");
  sound.SetBeep([this] { ++beeps_; });
  QTemporaryDir dir;
  const QString copy = dir.filePath(QStringLiteral("alarm.wav"));
  QVERIFY(QFile::copy(QStringLiteral(":/sounds/siren.wav"), copy));
  sound.PlaySiren();
  QCOMPARE(sound.Playing(), QStringLiteral("siren"));
  sound.PlayFile(copy);
  QCOMPARE(sound.Playing(), copy);
  sound.PlaySiren();
  QCOMPARE(sound.Playing(), QStringLiteral("siren"));
  QCOMPARE(beeps_, 0);
}

}  // namespace qm

QTEST_MAIN(qm::AlertSoundTest)
#include "AlertSoundTest.moc"
