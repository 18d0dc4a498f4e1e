// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// Renders the dialogs, our art and a sample connection tree to PNG files in
// the folder given, for a person to look at. Run on the offscreen platform
// by scripts/screenshots/render.sh.
#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "core/OwningConnectionTree.h"
#include "enforce/ProgramList.h"
#include "ui/AdminPassword.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/QtFileIcons.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TAboutForm.h"
#include "ui/TOptionsForm.h"
#include "ui/TProgramNameForm.h"
#include "ui/TUserNameForm.h"
#include "ui/TreeImageList.h"

namespace {

QDir out;

void Save(QWidget& w, const QString& name) {
  w.adjustSize();
  w.show();
  QCoreApplication::processEvents();
  const QString path = out.filePath(name + QStringLiteral(".png"));
  if (!w.grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
  w.hide();
}

// Every SVG of ours at the sizes it is shown at, on a light and a dark row.
void ContactSheet() {
  QStringList files;
  for (const QString& dir :
       {QStringLiteral(":/icons"), QStringLiteral(":/toolbar"), QStringLiteral(":/tree")}) {
    for (const QString& f : QDir(dir).entryList({QStringLiteral("*.svg")})) {
      files << dir + QLatin1Char('/') + f;
    }
  }
  const QList<int> sizes{16, 24, 32, 48};
  const int cell = 64;
  const int label = 150;
  QImage sheet(label + cell * sizes.size() * 2, cell * files.size(), QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter p(&sheet);
  p.fillRect(label + cell * sizes.size(), 0, cell * sizes.size(), sheet.height(),
             QColor(0x30, 0x34, 0x3a));
  for (int row = 0; row < files.size(); ++row) {
    QSvgRenderer svg(files[row]);
    p.setPen(Qt::black);
    p.drawText(QRect(4, row * cell, label - 8, cell), Qt::AlignVCenter,
               files[row].section(QLatin1Char('/'), 1));
    for (int dark = 0; dark < 2; ++dark) {
      for (int i = 0; i < sizes.size(); ++i) {
        const int s = sizes[i];
        const int x = label + (dark * sizes.size() + i) * cell + (cell - s) / 2;
        svg.render(&p, QRectF(x, row * cell + (cell - s) / 2, s, s));
      }
    }
  }
  p.end();
  const QString path = out.filePath(QStringLiteral("art.png"));
  sheet.save(path);
  std::printf("%s\n", qPrintable(path));

  // The small sizes pixel by pixel, four times enlarged.
  const int zoom = 4;
  QImage pixels(2 * (16 + 24) * zoom + 3 * 8, files.size() * (24 * zoom + 8),
                QImage::Format_ARGB32);
  pixels.fill(Qt::white);
  QPainter z(&pixels);
  z.fillRect(pixels.width() / 2, 0, pixels.width() / 2, pixels.height(), QColor(0x30, 0x34, 0x3a));
  for (int row = 0; row < files.size(); ++row) {
    int x = 4;
    for (int dark = 0; dark < 2; ++dark) {
      for (int s : {16, 24}) {
        QImage small(s, s, QImage::Format_ARGB32);
        small.fill(Qt::transparent);
        QPainter sp(&small);
        QSvgRenderer(files[row]).render(&sp, QRectF(0, 0, s, s));
        sp.end();
        z.drawImage(QPoint(x, row * (24 * zoom + 8) + 4), small.scaled(s * zoom, s * zoom));
        x += s * zoom + 8;
      }
      x = pixels.width() / 2 + 4;
    }
  }
  z.end();
  const QString zoomed = out.filePath(QStringLiteral("art-pixels.png"));
  pixels.save(zoomed);
  std::printf("%s\n", qPrintable(zoomed));
}

void Tree() {
  qm::QtFileIcons::UseInstalledThemeIfNone();
  qm::TreeImageList images;
  qm::QtFileIcons icons(images);
  qm::OwningConnectionTree tree;
  auto add = [&](qm::TreeNode* parent, const std::string& text, int image) {
    qm::TreeNode* n =
        tree.AddOwned(parent, text, std::make_unique<qm::TShare>(text, false, 45000.0));
    tree.SetImages(n, image);
    return n;
  };
  qm::TreeNode* u = add(nullptr, "LAPTOP-ANNA", qm::kImageUser);
  qm::TreeNode* s = add(u, "DOCS", qm::kImageDiskShare);
  for (const char* f : {"/srv/docs/report.odt", "/srv/docs/budget.xlsx", "/srv/docs/notes.txt",
                        "/srv/docs/photo.jpg", "/srv/docs/setup.exe", "/srv/docs/data.qzq"}) {
    add(s, f, icons.FileIconIndex(f));
  }
  add(u, "LASER", qm::kImagePrintShare);
  qm::TreeNode* v = add(nullptr, "PC-7", qm::kImageUser);
  add(v, "IPC$", qm::kImageDiskShare);
  tree.ExpandAll();
  tree.Select(s);
  qm::ConnectionTreeModel model(tree, images);
  qm::ConnectionTreeView view;
  view.SetTreeModel(&model);
  view.resize(320, 260);
  view.show();
  QCoreApplication::processEvents();
  const QString path = out.filePath(QStringLiteral("tree.png"));
  view.grab().save(path);
  std::printf("%s\n", qPrintable(path));
}

void Dialogs() {
  qm::Settings settings;
  settings.IPFilter = true;
  settings.IPFilterString = "127.0.0.*";
  settings.Standard = false;
  settings.SoundFile = "/usr/share/sounds/alarm/bell.wav";
  qm::ProgramList programs;
  programs.Restore({"/USR/GAMES/QUAKE", "/OPT/DOOM/DOOM.EXE",
                    QCoreApplication::applicationFilePath().toUpper().toStdString()});
  std::string password;
  qm::QtMessageBoxes boxes;
  qm::AdminPassword admin(password, boxes);
  qm::TOptionsForm options(settings, programs, admin, boxes, {});
  options.PageControl->setCurrentIndex(0);
  Save(options, QStringLiteral("options-general"));
  options.PageControl->setCurrentIndex(1);
  Save(options, QStringLiteral("options-disconnect"));

  qm::TUserNameForm user;
  Save(user, QStringLiteral("user-name"));
  qm::TProgramNameForm program;
  program.ProgramNameEdit->setText(QStringLiteral("/USR/GAMES/QUAKE"));
  Save(program, QStringLiteral("program-name"));
  qm::TAboutForm about;
  Save(about, QStringLiteral("about"));

  // The boxes, caught as they open.
  boxes.SetOnShow([](QDialog& d) {
    QTimer::singleShot(0, &d, [&d] {
      static int n = 0;
      const QString name = QStringLiteral("box-%1").arg(++n);
      const QString path = out.filePath(name + QStringLiteral(".png"));
      d.grab().save(path);
      std::printf("%s\n", qPrintable(path));
      d.reject();
    });
  });
  boxes.Prompt("Change Admin Password", "Enter New Password");
  boxes.Confirm("Are you sure?");
  boxes.Error("Passwords do not match, aborting...");
  boxes.Information("Program already in programlist!");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
  if (!out.mkpath(QStringLiteral("."))) return 1;
  ContactSheet();
  Tree();
  Dialogs();
  return 0;
}
