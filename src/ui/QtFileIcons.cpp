// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/QtFileIcons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/Resources.h"
#include "ui/TreeImageList.h"

namespace qm {

namespace {

const QString kExecutableIcon = QStringLiteral("application-x-executable");

// A Linux program: an existing, executable regular file in ELF format.
bool IsElfProgram(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || !info.isExecutable()) return false;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  return f.read(4) == QByteArray(
                          "\x7f"
                          "ELF",
                          4);
}

QIcon ThemeIcon(const QString& name) {
  if (name.isEmpty() || !QIcon::hasThemeIcon(name)) return {};
  return QIcon::fromTheme(name);
}

}  // namespace

QtFileIcons::QtFileIcons(TreeImageList& images) : images_(images) {}

int QtFileIcons::IndexOfIcon(const QString& name) {
  auto it = byIconName_.constFind(name);
  if (it != byIconName_.constEnd()) return it.value();
  const QIcon icon = ThemeIcon(name);
  const int index = icon.isNull() ? kImageFile : images_.Add(icon);
  byIconName_.insert(name, index);
  return index;
}

int QtFileIcons::FileIconIndex(const std::string& path) {
  const QString file = QString::fromStdString(path);
  // DOS programs carry their own icon; here they show the executable icon
  // when the file exists, like a program that yields its first icon.
  const QString extension = file.right(4).toLower();
  if (extension == QLatin1String(".exe") || extension == QLatin1String(".com")) {
    return QFileInfo(file).isFile() ? IndexOfIcon(kExecutableIcon) : kImageFile;
  }
  const QMimeType mime = mimes_.mimeTypeForFile(file, QMimeDatabase::MatchExtension);
  if (mime.isDefault()) return IsElfProgram(file) ? IndexOfIcon(kExecutableIcon) : kImageFile;
  auto it = byMimeType_.constFind(mime.name());
  if (it != byMimeType_.constEnd()) return it.value();
  int index = kImageFile;
  if (QIcon::hasThemeIcon(mime.iconName())) {
    index = IndexOfIcon(mime.iconName());
  } else if (QIcon::hasThemeIcon(mime.genericIconName())) {
    index = IndexOfIcon(mime.genericIconName());
  }
  byMimeType_.insert(mime.name(), index);
  return index;
}

QString QtFileIcons::ExistingPath(const QString& path) {
  if (QFileInfo::exists(path)) return path;
  if (!path.startsWith(QLatin1Char('/'))) return {};
  QString found = QStringLiteral("/");
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    const QDir dir(found);
    QString match;
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
      if (name.compare(part, Qt::CaseInsensitive) == 0) {
        match = name;
        break;
      }
    }
    if (match.isEmpty()) return {};
    found = dir.filePath(match);
  }
  return found;
}

QIcon QtFileIcons::ProgramIcon(const QString& path) {
  const QString file = ExistingPath(path);
  if (file.isEmpty()) return {};
  const QString extension = file.right(4).toLower();
  const bool dosProgram = extension == QLatin1String(".exe") ||
                          extension == QLatin1String(".com") ||
                          extension == QLatin1String(".bat") || extension == QLatin1String(".pif");
  if (dosProgram ? QFileInfo(file).isFile() : IsElfProgram(file)) return ThemeIcon(kExecutableIcon);
  return {};
}

void QtFileIcons::UseInstalledThemeIfNone() {
  if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& dir :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                 QStandardPaths::LocateDirectory)) {
    if (!paths.contains(dir)) paths.append(dir);
  }
  QIcon::setThemeSearchPaths(paths);
  for (const QString& theme : {QStringLiteral("Adwaita"), QStringLiteral("breeze"),
                               QStringLiteral("oxygen"), QStringLiteral("hicolor")}) {
    for (const QString& dir : paths) {
      if (QFileInfo::exists(dir + QLatin1Char('/') + theme + QStringLiteral("/index.theme"))) {
        QIcon::setThemeName(theme);
        return;
      }
    }
  }
}

}  // namespace qm
