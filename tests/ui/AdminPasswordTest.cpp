// The administrator password's prompts: what each entry leads to, with a
// scripted stand-in for the boxes.
#include <QtTest>
#include <deque>
#include <string>
#include <vector>

#include "core/Ports.h"
#include "ui/AdminPassword.h"

namespace qm {

namespace {

// Answers prompts from a script ("" is a cancelled box) and notes every box.
class ScriptedBoxes final : public MessageBoxes {
 public:
  void Information(const std::string& t) override { shown.push_back("info: " + t); }
  void Error(const std::string& t) override { shown.push_back("error: " + t); }
  bool Confirm(const std::string& t) override {
    shown.push_back("confirm: " + t);
    return true;
  }
  std::string Prompt(const std::string& caption, const std::string& prompt) override {
    shown.push_back("prompt: " + caption + " / " + prompt);
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::string> answers;
  std::vector<std::string> shown;
};

using Shown = std::vector<std::string>;

}  // namespace

class AdminPasswordTest : public QObject {
  Q_OBJECT

 private slots:
  void OptionsOpenOnlyForTheExactPassword_data();
  void OptionsOpenOnlyForTheExactPassword();
  void EmptyPasswordAcceptsEmptyOrCancelledEntry();
  void WrongPasswordAtExitIsRefusedInSilence();
  void ChangeAsksTwiceAndTakesEffectAtOnce();
  void ChangeWithDifferentEntriesKeepsOldPassword();
  void ChangeWithBothBoxesCancelledClearsPassword();
  void ChangeCutsLongPasswordAtCharacterBoundary();
};

void AdminPasswordTest::OptionsOpenOnlyForTheExactPassword_data() {
  QTest::addColumn<QString>("entry");
  QTest::addColumn<bool>("opens");
  QTest::newRow("exact") << "Secret 1" << true;
  QTest::newRow("other case") << "secret 1" << false;
  QTest::newRow("trailing blank") << "Secret 1 " << false;
  QTest::newRow("leading blank") << " Secret 1" << false;
  QTest::newRow("cancelled") << "" << false;
}

void AdminPasswordTest::OptionsOpenOnlyForTheExactPassword() {
  QFETCH(QString, entry);
  QFETCH(bool, opens);
  std::string password = "Secret 1";
  ScriptedBoxes boxes;
  boxes.answers = {entry.toStdString()};
  AdminPassword admin(password, boxes);
  QCOMPARE(admin.AskForOptions(), opens);
  Shown expected{"prompt: Security check / Enter Admin Password"};
  if (!opens) expected.push_back("error: Incorrect Password");
  QCOMPARE(boxes.shown, expected);
}

void AdminPasswordTest::EmptyPasswordAcceptsEmptyOrCancelledEntry() {
  std::string password;
  ScriptedBoxes boxes;
  AdminPassword admin(password, boxes);
  QVERIFY(admin.AskForOptions());
  QVERIFY(admin.AskForExit());
  boxes.answers = {"anything"};
  QVERIFY(!admin.AskForExit());
}

void AdminPasswordTest::WrongPasswordAtExitIsRefusedInSilence() {
  std::string password = "pw";
  ScriptedBoxes boxes;
  boxes.answers = {"PW", "pw"};
  AdminPassword admin(password, boxes);
  QVERIFY(!admin.AskForExit());
  QVERIFY(admin.AskForExit());
  QCOMPARE(boxes.shown, (Shown{"prompt: Security Shutdown / Enter the ADMIN Password to Exit",
                               "prompt: Security Shutdown / Enter the ADMIN Password to Exit"}));
}

void AdminPasswordTest::ChangeAsksTwiceAndTakesEffectAtOnce() {
  std::string password = "old";
  ScriptedBoxes boxes;
  boxes.answers = {" new ", " new "};
  AdminPassword admin(password, boxes);
  admin.ChangePwdBtnClick();
  QCOMPARE(password, std::string(" new "));
  QCOMPARE(boxes.shown, (Shown{"prompt: Change Admin Password / Enter New Password",
                               "prompt: Change Admin Password / Verify New Password",
                               "info: Password Changed"}));
  boxes.answers = {"old"};
  QVERIFY(!admin.AskForOptions());
}

void AdminPasswordTest::ChangeWithDifferentEntriesKeepsOldPassword() {
  std::string password = "old";
  ScriptedBoxes boxes;
  // A new password typed, the second box cancelled.
  boxes.answers = {"new", ""};
  AdminPassword admin(password, boxes);
  admin.ChangePwdBtnClick();
  QCOMPARE(password, std::string("old"));
  QCOMPARE(boxes.shown.back(), std::string("error: Passwords do not match, aborting..."));
  QCOMPARE(boxes.shown.size(), std::size_t{3});
}

void AdminPasswordTest::ChangeWithBothBoxesCancelledClearsPassword() {
  std::string password = "old";
  ScriptedBoxes boxes;
  AdminPassword admin(password, boxes);
  admin.ChangePwdBtnClick();
  QCOMPARE(password, std::string());
  QCOMPARE(boxes.shown.size(), std::size_t{3});
  QCOMPARE(boxes.shown.back(), std::string("info: Password Changed"));
}

void AdminPasswordTest::ChangeCutsLongPasswordAtCharacterBoundary() {
  std::string zhe;  // two bytes a character: 130 characters stay whole, 300 keep 255
  for (int i = 0; i < 300; ++i) zhe += "\xd0\xb6";
  for (const std::size_t bytes : {260u, 600u}) {
    std::string password;
    ScriptedBoxes boxes;
    boxes.answers = {zhe.substr(0, bytes), zhe.substr(0, bytes)};
    AdminPassword(password, boxes).ChangePwdBtnClick();
    QCOMPARE(password, zhe.substr(0, std::min<std::size_t>(bytes, 510)));
  }
}

}  // namespace qm

QTEST_MAIN(qm::AdminPasswordTest)
#include "AdminPasswordTest.moc"
