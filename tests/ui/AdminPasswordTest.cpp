// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
// The administrator password's prompts: what each entry leads to, with a
// scripted stand-in for the boxes.
#include <QtTest>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/RecordingMessages.h"
#include "ui/AdminPassword.h"

namespace qm {

namespace {

// Answers prompts from a script (nullopt is a cancelled box) and notes
// every box.
class ScriptedBoxes final : public test::RecordingMessages {
 public:
  std::optional<std::string> PromptOrCancel(const std::string& caption,
                                            const std::string& prompt) override {
    shown.push_back("prompt: " + caption + " / " + prompt);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::optional<std::string>> answers;
};

using Shown = std::vector<std::string>;

}  // namespace

class AdminPasswordTest : public QObject {
  Q_OBJECT

 private slots:
  void Prompts_data();
  void Prompts();
  void NewPassword_data();
  void NewPassword();
  void SetPasswordCutsAtCharacterBoundary();
};

void AdminPasswordTest::Prompts_data() {
  QTest::addColumn<QString>("password");
  QTest::addColumn<bool>("exit");      // the exit prompt, else the Options one
  QTest::addColumn<QString>("entry");  // null: the box cancelled
  QTest::addColumn<bool>("opens");
  QTest::newRow("exact") << "Secret 1" << false << "Secret 1" << true;
  QTest::newRow("other case") << "Secret 1" << false << "secret 1" << false;
  QTest::newRow("trailing blank") << "Secret 1" << false << "Secret 1 " << false;
  QTest::newRow("leading blank") << "Secret 1" << false << " Secret 1" << false;
  QTest::newRow("empty") << "Secret 1" << false << "" << false;
  // No password set: an empty entry opens and exits; Cancel does neither.
  QTest::newRow("none, empty") << "" << false << "" << true;
  QTest::newRow("none, empty at exit") << "" << true << "" << true;
  QTest::newRow("none, cancelled") << "" << false << QString() << false;
  QTest::newRow("none, cancelled at exit") << "" << true << QString() << false;
  // A wrong entry at exit is refused in silence.
  QTest::newRow("wrong at exit") << "pw" << true << "PW" << false;
  QTest::newRow("right at exit") << "pw" << true << "pw" << true;
}

void AdminPasswordTest::Prompts() {
  QFETCH(QString, password);
  QFETCH(bool, exit);
  QFETCH(QString, entry);
  QFETCH(bool, opens);
  std::string text = password.toStdString();
  ScriptedBoxes boxes;
  boxes.answers = {entry.isNull() ? std::nullopt : std::optional(entry.toStdString())};
  AdminPassword admin(text, boxes);
  QCOMPARE(exit ? admin.AskForExit() : admin.AskForOptions(), opens);
  Shown expected{exit ? "prompt: Security Shutdown / Enter the ADMIN Password to Exit"
                      : "prompt: Security check / Enter Admin Password"};
  if (!opens && !exit && !entry.isNull()) expected.push_back("error: Incorrect Password");
  QCOMPARE(boxes.shown, expected);
}

using Answers = std::vector<std::optional<std::string>>;

void AdminPasswordTest::NewPassword_data() {
  QTest::addColumn<Answers>("answers");
  QTest::addColumn<bool>("taken");
  QTest::addColumn<int>("boxes");  // prompts and messages shown
  QTest::addColumn<bool>("yes");   // the answer to "Remove the password?"
  QTest::newRow("typed twice") << Answers{" new ", " new "} << true << 2 << false;
  // No password at all only with a Yes to the question.
  QTest::newRow("empty twice, removal confirmed") << Answers{"", ""} << true << 3 << true;
  QTest::newRow("empty twice, removal declined") << Answers{"", ""} << false << 3 << false;
  QTest::newRow("blank is no removal") << Answers{" ", " "} << true << 2 << false;
  QTest::newRow("differ") << Answers{"new", "neW"} << false << 3 << false;
  QTest::newRow("empty, then typed") << Answers{"", "new"} << false << 3 << true;
  QTest::newRow("first cancelled") << Answers{std::nullopt} << false << 1 << true;
  QTest::newRow("second cancelled") << Answers{"new", std::nullopt} << false << 2 << true;
}

void AdminPasswordTest::NewPassword() {
  QFETCH(Answers, answers);
  QFETCH(bool, taken);
  QFETCH(int, boxes);
  QFETCH(bool, yes);
  std::string password = "old";
  ScriptedBoxes scripted;
  scripted.confirmAnswer = yes;
  scripted.answers.assign(answers.begin(), answers.end());
  AdminPassword admin(password, scripted);
  const std::optional<std::string> text = admin.AskNewPassword();
  QCOMPARE(text.has_value(), taken);
  if (taken) QCOMPARE(*text, *answers.front());
  QCOMPARE(password, std::string("old"));  // the caller decides
  QCOMPARE(static_cast<int>(scripted.shown.size()), boxes);
}

void AdminPasswordTest::SetPasswordCutsAtCharacterBoundary() {
  std::string zhe;  // two bytes a character: 130 characters stay whole, 300 keep 255
  for (int i = 0; i < 300; ++i) zhe += "\xd0\xb6";
  for (const std::size_t bytes : {260u, 600u}) {
    std::string password;
    ScriptedBoxes scripted;
    AdminPassword(password, scripted).SetPassword(zhe.substr(0, bytes));
    QCOMPARE(password, zhe.substr(0, std::min<std::size_t>(bytes, 510)));
  }
}

}  // namespace qm

QTEST_MAIN(qm::AdminPasswordTest)
#include "AdminPasswordTest.moc"
