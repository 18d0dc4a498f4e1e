// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// File images come from the MIME database and the icon theme, one image per
// distinct icon; anything without an icon is the generic file image.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Resources.h"
#include "ui/QtFileIcons.h"
#include "ui/TreeImageList.h"

namespace qm {

class QtFileIconsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void FilesOfOneTypeShareOneImage();
  void TypesWithTheSameIconShareOneImage();
  void UnknownTypeGivesGenericImage();
  void DosProgramNeedsTheFileToExist();
  void LinuxProgramGetsExecutableImage();
  void FileWithElfBytesButNotExecutableIsGeneric();
  void ProgramIconFindsUpperCasedPath();
  void ProgramIconOfMissingFileIsNone();

 private:
  QTemporaryDir dir_;
};

void QtFileIconsTest::initTestCase() {
  QtFileIcons::UseInstalledThemeIfNone();
  if (!QIcon::hasThemeIcon(QStringLiteral("text-x-generic")) ||
      !QIcon::hasThemeIcon(QStringLiteral("application-x-executable"))) {
    QSKIP("no icon theme with MIME icons is installed");
  }
  QVERIFY(dir_.isValid());
}

void QtFileIconsTest::FilesOfOneTypeShareOneImage() {
  TreeImageList images;
  QtFileIcons icons(images);
  const int a = icons.FileIconIndex("/srv/docs/a.txt");
  const int b = icons.FileIconIndex("/srv/other/B.TXT");
  QVERIFY(a >= 4);
  QCOMPARE(b, a);
  QCOMPARE(images.Count(), 5);
  // However many files of that type come and go, the list stays as it is.
  for (int i = 0; i < 100; ++i) icons.FileIconIndex("/srv/f" + std::to_string(i) + ".txt");
  QCOMPARE(images.Count(), 5);
}

void QtFileIconsTest::TypesWithTheSameIconShareOneImage() {
  // Two MIME types whose specific icons the theme lacks fall back to the
  // same generic icon, which is appended once.
  if (QIcon::hasThemeIcon(QStringLiteral("text-x-csrc")) ||
      QIcon::hasThemeIcon(QStringLiteral("text-x-chdr"))) {
    QSKIP("the theme has icons of its own for C sources and headers");
  }
  TreeImageList images;
  QtFileIcons icons(images);
  const int c = icons.FileIconIndex("/src/main.c");
  const int h = icons.FileIconIndex("/src/main.h");
  QVERIFY(c >= 4);
  QCOMPARE(h, c);
  QCOMPARE(images.Count(), 5);
}

void QtFileIconsTest::UnknownTypeGivesGenericImage() {
  TreeImageList images;
  QtFileIcons icons(images);
  QCOMPARE(icons.FileIconIndex("/srv/data.qzqzq"), static_cast<int>(kImageFile));
  QCOMPARE(icons.FileIconIndex(""), static_cast<int>(kImageFile));
  QCOMPARE(images.Count(), 4);
}

void QtFileIconsTest::DosProgramNeedsTheFileToExist() {
  TreeImageList images;
  QtFileIcons icons(images);
  QCOMPARE(icons.FileIconIndex("/srv/games/QUAKE.EXE"), static_cast<int>(kImageFile));
  const QString exe = dir_.filePath(QStringLiteral("SETUP.EXE"));
  QFile f(exe);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("MZ");
  f.close();
  const int index = icons.FileIconIndex(exe.toStdString());
  QVERIFY(index >= 4);
  QCOMPARE(icons.FileIconIndex(dir_.filePath(QStringLiteral("SETUP.EXE")).toStdString()), index);
}

void QtFileIconsTest::LinuxProgramGetsExecutableImage() {
  TreeImageList images;
  QtFileIcons icons(images);
  // This test program: an executable ELF file without an extension.
  const int index = icons.FileIconIndex(QCoreApplication::applicationFilePath().toStdString());
  QVERIFY(index >= 4);
  const QString exe = dir_.filePath(QStringLiteral("TOOL.COM"));
  QFile f(exe);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.close();
  QCOMPARE(icons.FileIconIndex(exe.toStdString()), index);
}

void QtFileIconsTest::FileWithElfBytesButNotExecutableIsGeneric() {
  TreeImageList images;
  QtFileIcons icons(images);
  const QString path = dir_.filePath(QStringLiteral("blob"));
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(
      "\x7f"
      "ELF rest");
  f.close();
  QCOMPARE(icons.FileIconIndex(path.toStdString()), static_cast<int>(kImageFile));
}

void QtFileIconsTest::ProgramIconFindsUpperCasedPath() {
  const QString self = QCoreApplication::applicationFilePath();
  QVERIFY(!QtFileIcons::ProgramIcon(self).isNull());
  const QString upper = self.toUpper();
  QCOMPARE(QtFileIcons::ExistingPath(upper), self);
  QVERIFY(!QtFileIcons::ProgramIcon(upper).isNull());
}

void QtFileIconsTest::ProgramIconOfMissingFileIsNone() {
  QVERIFY(QtFileIcons::ProgramIcon(QStringLiteral("/NO/SUCH/GAME")).isNull());
  QVERIFY(QtFileIcons::ProgramIcon(QStringLiteral("QUAKE.EXE")).isNull());
  QVERIFY(QtFileIcons::ExistingPath(QStringLiteral("/NO/SUCH/GAME")).isEmpty());
  // A file that exists but is no program shows no icon either.
  const QString text = dir_.filePath(QStringLiteral("notes"));
  QFile f(text);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write("not a program");
  f.close();
  QVERIFY(QtFileIcons::ProgramIcon(text).isNull());
}

}  // namespace qm

QTEST_MAIN(qm::QtFileIconsTest)
#include "QtFileIconsTest.moc"
