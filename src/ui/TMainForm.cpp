// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#include "ui/TMainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>
#include <iostream>

#include "app/Application.h"
#include "core/HistoryCommands.h"
#include "enforce/DisconnectListCommands.h"
#include "store/ConnectionLog.h"
#include "ui/AdminPassword.h"
#include "ui/AlertSound.h"
#include "ui/ConnectionTreeModel.h"
#include "ui/ConnectionTreeView.h"
#include "ui/DesktopNotifications.h"
#include "ui/HelpWindow.h"
#include "ui/InfoPanel.h"
#include "ui/QtFileIcons.h"
#include "ui/QtMessageBoxes.h"
#include "ui/ScreenPlacement.h"
#include "ui/ShellOpen.h"
#include "ui/TAboutForm.h"
#include "ui/TKickForm.h"
#include "ui/TKickListForm.h"
#include "ui/TOptionsForm.h"
#include "ui/TProgramNameForm.h"
#include "ui/TUserNameForm.h"
#include "ui/TreeImageList.h"

namespace qm {

namespace {
constexpr int kTooltipLimit = 62;
constexpr int kInfoWidth = 174;
constexpr const char* kIdleIcon = ":/icons/IDI_ICON1.svg";
constexpr const char* kConnectedIcon = ":/icons/IDI_ICON2.svg";
const QString kWaitingForServer = QStringLiteral("Waiting for the server service...");

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The caption labels of the two information panels with their colours.
struct InfoRow {
  const char* caption;  // empty: a value under the address
  InfoLabel label;
  const char* colour;
};
const InfoRow kCurrentRows[] = {
    {"Enter time:", EnTiCuLabel, "green"},  {"Enter date:", EnDaCuLabel, "green"},
    {"Connected time:", CoCuLabel, "navy"}, {"Idle time:", IdCuLabel, "navy"},
    {"IP address:", IPCuLabel, "maroon"},   {"", IPTextCuLabel, "maroon"},
    {"User:", UserNameCuLabel, "maroon"},
};
const InfoRow kFormerRows[] = {
    {"Enter time:", EnTiFoLabel, "green"},
    {"Enter date:", EnDaFoLabel, "green"},
    {"Enter status:", EnStFoLabel, "navy"},
    {"Exit time:", ExTiFoLabel, "maroon"},
    {"Exit date:", ExDaFoLabel, "maroon"},
    {"Exit status:", ExStFoLabel, "navy"},
    {"Connected time:", CoTiFoLabel, "navy"},
    {"IP address:", IPFormerLabel, "maroon"},
    {"", IPTextFoLabel, "maroon"},
    {"User:", UserNameFoLabel, "maroon"},
};
}  // namespace

// The status bar's progress bar while the history is written.
class TMainForm::ProgressBarAdapter final : public StoreProgress {
 public:
  explicit ProgressBarAdapter(TMainForm& form) : form_(form) {}
  void Start(int maximum) override {
    form_.ProgressBar->setRange(0, std::max(0, maximum));
    form_.ProgressBar->setValue(0);
    form_.ProgressBar->show();
  }
  void StepIt() override { form_.ProgressBar->setValue(form_.ProgressBar->value() + 1); }
  void Finish() override { form_.ProgressBar->hide(); }

 private:
  TMainForm& form_;
};

TMainForm::TMainForm()
    : images_(std::make_unique<TreeImageList>()),
      fileIcons_(std::make_unique<QtFileIcons>(*images_)),
      sound_(std::make_unique<AlertSound>()),
      progress_(std::make_unique<ProgressBarAdapter>(*this)),
      idleIcon_(kIdleIcon),
      connectedIcon_(kConnectedIcon) {
  setWindowTitle("Quillmoor 98");
  setWindowIcon(idleIcon_);
  BuildMenus();
  BuildToolBar();
  BuildPages();
  BuildStatusBar();
  BuildTray();
  connect(&RefreshTimer, &QTimer::timeout, this, &TMainForm::RefreshTimerTimer);
  connect(&ServerWaitTimer, &QTimer::timeout, this, &TMainForm::ServerWaitTimerTimer);
  new ScreenPlacement(this);
  resize(450, 350);
}

TMainForm::~TMainForm() {
  Detach();
  if (TrayIcon) TrayIcon->hide();
}

void TMainForm::Detach() {
  if (!app_) return;
  RefreshTimer.stop();
  ServerWaitTimer.stop();
  app_->Rules().Status().RemoveObserver(this);
  // In the reverse order of creation.
  for (QDialog* dialog : std::initializer_list<QDialog*>{
           ProgramNameForm, UserNameForm, KickListForm, KickForm, AboutForm, OptionsForm}) {
    delete dialog;
  }
  ProgramNameForm = nullptr;
  UserNameForm = nullptr;
  KickListForm = nullptr;
  KickForm = nullptr;
  AboutForm = nullptr;
  OptionsForm = nullptr;
  TreeViewCurrent->SetTreeModel(nullptr);
  TreeViewFormer->SetTreeModel(nullptr);
  delete currentModel_;
  delete formerModel_;
  currentModel_ = formerModel_ = nullptr;
  app_ = nullptr;
}

// ---------------- construction ----------------

void TMainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  Clearformerconnections =
      file->addAction("&Clear former connections", this, &TMainForm::ClearformerconnectionsClick);
  Collapseformerconnections = file->addAction("C&ollapse former connections", this,
                                              &TMainForm::CollapseformerconnectionsClick);
  file->addSeparator();
  Saveformerconnectionsas = file->addAction("&Save former connections as...", this,
                                            &TMainForm::SaveformerconnectionsasClick);
  file->addSeparator();
  ExitMenuItem = file->addAction("E&xit", this, &QWidget::close);
  ExitMenuItem->setShortcut(QKeySequence("Ctrl+X"));

  QMenu* view = menuBar()->addMenu("&View");
  ToolbarMenuItem = view->addAction("&Toolbar", this, &TMainForm::ToolbarMenuItemClick);
  ToolbarMenuItem->setCheckable(true);
  ToolbarMenuItem->setChecked(true);
  StatusBarMenuItem = view->addAction("Status &Bar", this, &TMainForm::StatusBarMenuItemClick);
  StatusBarMenuItem->setCheckable(true);
  StatusBarMenuItem->setChecked(true);
  view->addSeparator();
  Refresh = view->addAction("&Refresh", this, &TMainForm::RefreshTimerTimer);
  Refresh->setShortcut(QKeySequence(Qt::Key_F5));
  view->addSeparator();
  Kick = view->addAction("&Disconnect", this, &TMainForm::KickClick);
  KickListMenuItem =
      view->addAction("Disconnect &List...", this, &TMainForm::SpeedKickListButtonClick);
  view->addSeparator();
  Options = view->addAction("&Options...", this, &TMainForm::OptionsClick);

  QMenu* help = menuBar()->addMenu("&Help");
  HelpMenuItem = help->addAction("&Help", this, &TMainForm::HelpClick);
  HelpMenuItem->setShortcut(QKeySequence(Qt::Key_F1));
  help->addSeparator();
  About = help->addAction("&About Quillmoor 98...", this, &TMainForm::AboutClick);

  KickListPopup = new QMenu(this);
  OpencomputerMenuItem =
      KickListPopup->addAction("Open computer", this, &TMainForm::OpencomputerMenuItemClick);
  KickListPopup->addSeparator();
  Addusertokicklist = KickListPopup->addAction("Add user to Disconnect List", this,
                                               &TMainForm::SpeedButtonAddClick);
  Removeuserfromkicklist = KickListPopup->addAction("Remove user from Disconnect List", this,
                                                    &TMainForm::SpeedButtonRemoveClick);
  KickListPopup->addSeparator();
  Deleteuserfromconnectionlist = KickListPopup->addAction(
      "Delete user from connection list", this, &TMainForm::DeleteuserfromconnectionlistClick);
  KickListPopup->addSeparator();
  KickUserMenuItem = KickListPopup->addAction("Disconnect user", this, &TMainForm::KickButtonClick);

  FilePopup = new QMenu(this);
  Open = FilePopup->addAction("&Open", this, &TMainForm::OpenClick);
}

void TMainForm::BuildToolBar() {
  ToolBar = addToolBar("Toolbar");
  ToolBar->setObjectName("ToolBar");
  ToolBar->setAccessibleName("Toolbar");
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(20, 20));
  ToolBar->setFixedHeight(26 + 6);
  ToolBar->toggleViewAction()->setEnabled(false);
  auto button = [this](const char* icon, const char* hint, void (TMainForm::*handler)()) {
    QAction* a = ToolBar->addAction(QIcon(QString(":/toolbar/") + icon), hint, this, handler);
    a->setToolTip(hint);
    a->setStatusTip(hint);
    return a;
  };
  ToolBar->addSeparator();
  KickToolButton = button("kick.svg", "Disconnect current user", &TMainForm::KickButtonClick);
  ToolBar->addSeparator();
  KickListToolButton =
      button("kicklist.svg", "Show Disconnect List", &TMainForm::SpeedKickListButtonClick);
  AddToolButton =
      button("add.svg", "Add user to the Disconnect List", &TMainForm::SpeedButtonAddClick);
  RemoveToolButton =
      button("remove.svg", "Remove user from Disconnect List", &TMainForm::SpeedButtonRemoveClick);
  ToolBar->addSeparator();
  ClearFormerConnectionsToolButton =
      button("clear.svg", "Clear former connections", &TMainForm::ClearformerconnectionsClick);
  CollapseFormerConnectionsToolButton = button("collapse.svg", "Collapse former connections",
                                               &TMainForm::CollapseformerconnectionsClick);
  ToolBar->addSeparator();
  SaveToFileToolButton = button("save.svg", "Save former connections to file",
                                &TMainForm::SaveformerconnectionsasClick);
  ToolBar->addSeparator();
  HelpToolButton = button("help.svg", "Help", &TMainForm::HelpClick);
}

QGroupBox* TMainForm::BuildInfoPanel(bool current) {
  auto* box = new InfoPanel;
  const std::vector<InfoRow> rows =
      current ? std::vector<InfoRow>(std::begin(kCurrentRows), std::end(kCurrentRows))
              : std::vector<InfoRow>(std::begin(kFormerRows), std::end(kFormerRows));
  // 174 pixels held the captions in the fonts of old; today's need more,
  // so the panel is as wide as its widest caption and a typical value.
  const QFontMetrics metrics(QApplication::font());
  int captions = 0;
  for (const InfoRow& r : rows) captions = std::max(captions, metrics.horizontalAdvance(r.caption));
  box->setFixedWidth(
      std::max(kInfoWidth, captions + metrics.horizontalAdvance("Program exitted") + 36));
  for (const InfoRow& r : rows) {
    QLabel* value = box->AddRow(r.caption, QColor(r.colour));
    value->setAccessibleName(*r.caption ? QString(r.caption).chopped(1) : QString("Host name"));
    InfoLabels[r.label] = value;
  }
  box->FinishRows();
  return box;
}

void TMainForm::BuildPages() {
  PageControl = new QTabWidget(this);
  PageControl->setAccessibleName("Connections");
  auto page = [this](ConnectionTreeView*& tree, bool current) {
    auto* widget = new QWidget;
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(2, 2, 2, 2);
    tree = new ConnectionTreeView(widget);
    tree->setAccessibleName(current ? "Current connections" : "Former connections");
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this, tree](const QPoint& pos) { ShowTreeMenu(tree, pos); });
    layout->addWidget(tree, 1);
    layout->addWidget(BuildInfoPanel(current));
    return widget;
  };
  CurrentConnectionTab = page(TreeViewCurrent, true);
  FormerConnectionTab = page(TreeViewFormer, false);
  TreeViewCurrent->setItemsExpandable(false);
  TreeViewCurrent->setRootIsDecorated(false);
  TreeViewCurrent->SetExpandButtons(false);
  PageControl->addTab(CurrentConnectionTab, "Current Connections");
  PageControl->addTab(FormerConnectionTab, "Former Connections");
  connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    for (QWidget* page : {CurrentConnectionTab, FormerConnectionTab}) {
      if (now && page->isAncestorOf(now) && !(old && page->isAncestorOf(old))) {
        TabEnter(page == CurrentConnectionTab);
      }
    }
  });
  setCentralWidget(PageControl);
}

void TMainForm::BuildStatusBar() {
  StatusBarPanel = statusBar();
  statusBar()->setSizeGripEnabled(true);
  const char* texts[3] = {"Disconnect status:", "Number of current users:", ""};
  // Each panel is at least as wide as the longest text it will show, so
  // the window's minimum width keeps every status text whole.
  const QStringList longest[3] = {
      {Q(DisconnectStatus::StatusBarText(KickNobody)), Q(DisconnectStatus::StatusBarText(KickList)),
       Q(DisconnectStatus::StatusBarText(KickAll))},
      {"Number of current users: 00000", "Number of former users: 00000"},
      {}};
  const int widths[3] = {200, 200, 50};
  const char* names[3] = {"Disconnect status", "Number of users", "Server state"};
  for (int i = 0; i < 3; ++i) {
    StatusPanels[i] = new QLabel(texts[i]);
    StatusPanels[i]->setAccessibleName(names[i]);
    StatusPanels[i]->setFrameShape(QFrame::StyledPanel);
    int width = widths[i];
    for (const QString& text : longest[i]) {
      width = std::max(width, StatusPanels[i]->fontMetrics().horizontalAdvance(text) +
                                  2 * StatusPanels[i]->frameWidth() + 8);
    }
    // The last panel takes what is left, and a long word on the server
    // never pushes the others over each other (the whole text is its tip).
    StatusPanels[i]->setMinimumWidth(width);
    if (i == 2) StatusPanels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
  }
  ProgressBar = new QProgressBar;
  ProgressBar->setRange(0, 100);
  ProgressBar->setFixedHeight(8);
  ProgressBar->setTextVisible(false);
  ProgressBar->setAccessibleName("Saving former connections");
  ProgressBar->hide();
  statusBar()->addPermanentWidget(ProgressBar, 1);
}

void TMainForm::BuildTray() {
  TrayPopUp = new QMenu(this);
  OpenQuillmoor98MenuItem =
      TrayPopUp->addAction("&Open Quillmoor 98", this, &TMainForm::AppRestore);
  QFont bold = OpenQuillmoor98MenuItem->font();
  bold.setBold(true);
  OpenQuillmoor98MenuItem->setFont(bold);
  TrayPopUp->setDefaultAction(OpenQuillmoor98MenuItem);
  Minimize = TrayPopUp->addAction("Mi&nimize", this, &TMainForm::AppMinimize);
  TrayPopUp->addSeparator();
  QMenu* status = TrayPopUp->addMenu("&Disconnect status");
  auto* group = new QActionGroup(this);
  auto radio = [&](const char* caption, KickStatus value) {
    QAction* a = status->addAction(caption);
    a->setCheckable(true);
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, value] {
      if (app_) app_->Rules().Status().SetWhoToKick(value);
    });
    return a;
  };
  Kicknobody = radio("Disconnect &no one", KickNobody);
  Kicklist = radio("Disconnect &list", KickList);
  Kickall = radio("Disconnect &all", KickAll);
  Kicknobody->setChecked(true);
  TrayPopUp->addSeparator();
  PopUpMenuExit = TrayPopUp->addAction("E&xit", this, &QWidget::close);

  notifications_ = new DesktopNotifications(connectedIcon_, this);
  connect(notifications_, &DesktopNotifications::Activated, this, &TMainForm::AppRestore);
  connect(notifications_, &DesktopNotifications::Failed, this,
          [this](const QString& title, const QString& text) { ShowBalloon(title, text); });
  TrayIcon = new QSystemTrayIcon(idleIcon_, this);
  TrayIcon->setContextMenu(TrayPopUp);
  connect(TrayIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) TrayIconDblClick();
          });
}

void TMainForm::Attach(Application& app, QtMessageBoxes& messages) {
  app_ = &app;
  messages_ = &messages;
  Monitor& m = app.GetMonitor();
  password_ = std::make_unique<AdminPassword>(app.AdminPassword(), messages);
  history_ = std::make_unique<HistoryCommands>(m);
  shell_ = std::make_unique<ShellOpen>(messages);
  currentModel_ = new ConnectionTreeModel(m.TreeViewCurrent, *images_, this);
  formerModel_ = new ConnectionTreeModel(m.TreeViewFormer, *images_, this);
  TreeViewCurrent->SetTreeModel(currentModel_);
  TreeViewFormer->SetTreeModel(formerModel_);
  connect(currentModel_, &ConnectionTreeModel::TreeSelectionChanged, this,
          [this] { TreeSelectionChanged(true); });
  connect(formerModel_, &ConnectionTreeModel::TreeSelectionChanged, this,
          [this] { TreeSelectionChanged(false); });

  // The dialogs, in their creation order.
  OptionsFormHooks hooks;
  hooks.setStartupRegistration = [this](bool enabled, std::string& why) {
    return app_->SetStartupRegistration(enabled, why);
  };
  hooks.setRefreshInterval = [this](int ms) { SetRefreshInterval(ms); };
  hooks.playAlertSound = [this](const Settings& s) { sound_->PlayAlertSound(s); };
  hooks.askProgramName = [this] {
    ProgramNameForm->ProgramNameEdit->clear();
    ProgramNameForm->ShowModal();
    return ProgramNameForm->ProgramNameEdit->text().toStdString();
  };
  OptionsForm = new TOptionsForm(app.GetSettings(), app.Rules().Programs(), *password_, messages,
                                 hooks, this);
  AboutForm = new TAboutForm(this);
  KickForm = new TKickForm(
      app.Rules().Status(), [this] { SpeedKickListButtonClick(); }, this);
  TKickListForm::Hooks listHooks;
  listHooks.askUser = [this] {
    UserNameForm->UserNameEdit->clear();
    UserNameForm->IPAddressEdit->setText(TUserNameForm::kUnknownAddress);
    UserNameForm->ShowModal();
    return std::make_pair(UserNameForm->UserNameEdit->text().toStdString(),
                          UserNameForm->IPAddressEdit->text().toStdString());
  };
  listHooks.openComputer = [this](const std::string& name) { shell_->OpenComputer(name); };
  KickListForm = new TKickListForm(app.Rules().List(), messages, listHooks, this);
  ApplyKickListBounds(kickListBounds_);
  UserNameForm = new TUserNameForm(this);
  ProgramNameForm = new TProgramNameForm(this);

  app.Rules().Status().AddObserver(this);
  WhoToKickChanged(app.Rules().Status().WhoToKick());
  SetStatusText(0, DisconnectStatus::StatusBarText(app.Rules().Status().WhoToKick()));
  m.SetStatusUserCount();
}

// ---------------- lifecycle ----------------

void TMainForm::Start() {
  ActivateWithoutWaiting();
}

void TMainForm::ActivateWithoutWaiting() {
  // The wait for the server service runs on the timer: the window answers
  // meanwhile, and the status bar says what it waits for.
  if (!app_ || ServerWaitTimer.isActive()) return;
  if (app_->ServerAnswers()) {
    FinishActivation();
    return;
  }
  serverWaits_ = 0;
  SetStatusText(2, kWaitingForServer.toStdString());
  ServerWaitTimer.start(Application::kServerWaitPauseMs);
}

void TMainForm::ServerWaitTimerTimer() {
  if (!app_) return;
  const bool answers = app_->ServerAnswers();
  if (!answers && ++serverWaits_ < Application::kServerWaitRetries) return;
  ServerWaitTimer.stop();
  if (serverText_ == kWaitingForServer) SetStatusText(2, "");
  FinishActivation();
}

void TMainForm::FinishActivation() {
  if (!app_) return;
  app_->FinishActivation();
  started_ = true;
  if (QWidget* tree = ActiveTree()) tree->setFocus();
}

bool TMainForm::event(QEvent* event) {
  // A toolbar button's tip would take the status bar's place, and with it
  // the disconnect status; the tip shows as a tooltip instead.
  if (event->type() == QEvent::StatusTip) return true;
  // The window is never narrower than the status panels need (the status
  // bar would let them overlap), as the style and font give them.
  if (event->type() == QEvent::Show || event->type() == QEvent::StyleChange ||
      event->type() == QEvent::FontChange) {
    if (QLayout* panels = statusBar()->layout()) {
      panels->activate();
      setMinimumWidth(panels->minimumSize().width());
    }
  }
  // Later activations wait for the server service again, as the first did.
  if (event->type() == QEvent::WindowActivate && started_ && app_ && !closing_) {
    ActivateWithoutWaiting();
  }
  return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!app_ || terminating_) {
    event->accept();
    return;
  }
  if (!app_->CloseQuery()) {
    event->ignore();
    return;
  }
  closing_ = true;
  app_->Close();
  event->accept();
  QApplication::quit();
}

void TMainForm::EndSession() {
  if (!app_ || closing_) return;
  closing_ = true;
  app_->SessionEnd();
  QApplication::quit();
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // The state to come back to; the close's return to the normal state
  // (for the restored bounds) is not the user's.
  if (event->type() == QEvent::WindowStateChange && !keepState_ && !isMinimized()) {
    maximized_ = isMaximized();
  }
  if (event->type() == QEvent::WindowStateChange && isMinimized() && !minimized_) AppMinimize();
}

// ---------------- FrontEnd ----------------

bool TMainForm::WindowShown() const {
  return Minimize->isEnabled();
}

bool TMainForm::CurrentPageActive() const {
  return PageControl->currentIndex() == 0;
}

void TMainForm::SetCaption(const std::string& text) {
  // Only the window's own title: a desktop's taskbar shows the window
  // titles, and an application display name would be appended by Qt to
  // every window's title, the dialogs' included.
  setWindowTitle(Q(text));
}

void TMainForm::SetApplicationHint(const std::string& text) {
  setToolTip(Q(text));
}

void TMainForm::SetTrayTooltip(const std::string& text) {
  TrayIcon->setToolTip(Q(text).left(kTooltipLimit));
}

void TMainForm::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel >= 3) return;
  if (panel == 2) {
    serverText_ = Q(text);
    StatusPanels[2]->setToolTip(serverText_);
    FitServerText();
    return;
  }
  StatusPanels[panel]->setText(Q(text));
}

void TMainForm::FitServerText() {
  QLabel* panel = StatusPanels[2];
  const int room = std::max(0, panel->contentsRect().width() - 4);
  panel->setText(panel->fontMetrics().elidedText(serverText_, Qt::ElideRight, room));
}

void TMainForm::InfoLabelChanged(InfoLabel label, const std::string& text) {
  QLabel* value = InfoLabels[label];
  if (!value) return;
  static_cast<InfoPanel*>(value->parentWidget())->SetValue(value, Q(text));
}

void TMainForm::UpdateConnectedIcon(bool connected) {
  const QIcon& icon = connected ? connectedIcon_ : idleIcon_;
  TrayIcon->setIcon(icon);
  setWindowIcon(icon);
  QApplication::setWindowIcon(icon);
}

void TMainForm::PopupOnNewConnection() {
  AppRestore();
  // In front of the others without staying on top.
  raise();
  activateWindow();
}

void TMainForm::PlayAlertSound() {
  // The arrivals of one tick give one alert, once the tick is over: each
  // sound would cut off the one before, and a crowd would queue a beep for
  // every user on a computer without sound.
  if (soundPending_) return;
  soundPending_ = true;
  QTimer::singleShot(0, this, [this] {
    soundPending_ = false;
    if (app_) sound_->PlayAlertSound(app_->GetSettings());
  });
}

void TMainForm::NotifyNewConnection(const std::string& client, const std::string& share) {
  // A message replaces the one before: the arrivals of one tick go into
  // one message, sent once the tick is over.
  arrivals_.push_back({Q(client), Q(share)});
  if (arrivals_.size() == 1) QTimer::singleShot(0, this, &TMainForm::ShowArrivals);
}

QString TMainForm::ArrivalsMessage(const std::vector<Arrival>& arrivals, QString* title) {
  if (arrivals.size() == 1) {
    if (title) *title = "New connection";
    return QString("%1 connected to %2").arg(arrivals[0].client, arrivals[0].share);
  }
  constexpr std::size_t kNamed = 10;
  QStringList names;
  for (std::size_t i = 0; i < arrivals.size() && i < kNamed; ++i) names << arrivals[i].client;
  QString text = QString("%1 new connections: %2").arg(arrivals.size()).arg(names.join(", "));
  if (arrivals.size() > kNamed) text += QString(" and %1 more").arg(arrivals.size() - kNamed);
  if (title) *title = "New connections";
  return text;
}

void TMainForm::ShowArrivals() {
  if (arrivals_.empty()) return;
  QString title;
  const QString text = ArrivalsMessage(arrivals_, &title);
  // The desktop's notification service first: it shows also without a
  // notification area. The area's balloon stands in when there is none.
  if (notifications_->Available()) {
    arrivals_.clear();
    notifications_->Send(title, text);
    emit ArrivalsNotified(title, text);
    return;
  }
  if (!ShowBalloon(title, text)) return;  // asked again once the icon is placed
  arrivals_.clear();
  emit ArrivalsNotified(title, text);
}

bool TMainForm::ShowBalloon(const QString& title, const QString& text) {
  const bool tray = TrayIcon->isVisible() && QSystemTrayIcon::supportsMessages();
  // A message shown before the notification area has placed the icon
  // would point at the screen's corner; the icon gets a moment to settle.
  if (tray && TrayIcon->geometry().isEmpty() && trayWaits_ < 8) {
    ++trayWaits_;
    QTimer::singleShot(250, this, &TMainForm::ShowArrivals);
    return false;
  }
  trayWaits_ = 0;
  if (tray) TrayIcon->showMessage(title, text, connectedIcon_, 8000);
  return true;
}

void TMainForm::StopRefreshTimer() {
  RefreshTimer.stop();
}

void TMainForm::RequestTerminate() {
  terminating_ = true;
  RefreshTimer.stop();
  QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
}

void TMainForm::ApplyMainWindowBounds(const WindowBounds& bounds) {
  // Bounds from another screen or scale factor are brought onto this one;
  // the stored size stays as it was unless the user resizes the window.
  bounds_ = bounds;
  maximized_ = bounds.Maximized;
  userResized_ = false;
  resize(std::max(bounds.Width, 1), std::max(bounds.Height, 1));
  move(bounds.Left, bounds.Top);
  ScreenPlacement::KeepOnScreen(*this);
  homePosition_ = pos();
}

WindowBounds TMainForm::MainWindowBounds() const {
  if (!started_) return bounds_;
  WindowBounds b = bounds_;
  const bool normal = isVisible() && windowState() == Qt::WindowNoState;
  const QPoint position = normal ? frameGeometry().topLeft() : homePosition_;
  b.Left = position.x();
  b.Top = position.y();
  if (userResized_) {
    const QSize restored = isMaximized() ? normalGeometry().size() : size();
    b.Width = restored.width();
    b.Height = restored.height();
  }
  b.Maximized = maximized_;
  return b;
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  QTimer::singleShot(0, this, &TMainForm::FitServerText);
  // Only the window manager's resizes of a shown, restored window are the
  // user's; the program's own fitting onto a screen is not.
  if (event->spontaneous() && isVisible() && windowState() == Qt::WindowNoState &&
      event->size() != event->oldSize() && event->oldSize().isValid()) {
    userResized_ = true;
  }
}

void TMainForm::ApplyKickListBounds(const WindowBounds& bounds) {
  kickListBounds_ = bounds;
  if (!KickListForm) return;
  KickListForm->setGeometry(bounds.Left, bounds.Top, bounds.Width, bounds.Height);
  ScreenPlacement::KeepOnScreen(*KickListForm);
}

WindowBounds TMainForm::KickListBounds() const {
  if (!KickListForm) return kickListBounds_;
  const QRect r = KickListForm->geometry();
  return WindowBounds{r.top(), r.left(), r.height(), r.width()};
}

bool TMainForm::EditingFiles() const {
  return QApplication::activeModalWidget() != nullptr;
}

void TMainForm::SetRefreshInterval(int milliseconds) {
  if (RefreshTimer.interval() != milliseconds) RefreshTimer.setInterval(milliseconds);
}

void TMainForm::StartRefreshTimer() {
  RefreshTimer.start();
}

void TMainForm::ShowToolbar(bool shown) {
  ToolbarMenuItem->setChecked(shown);
  ToolBar->setVisible(shown);
}

void TMainForm::ShowStatusbar(bool shown) {
  StatusBarMenuItem->setChecked(shown);
  statusBar()->setVisible(shown);
}

bool TMainForm::ToolbarShown() const {
  return ToolbarMenuItem->isChecked();
}

bool TMainForm::StatusbarShown() const {
  return StatusBarMenuItem->isChecked();
}

void TMainForm::EnterNotificationArea() {
  TrayIcon->show();
  move(homePosition_);
  AppMinimize();
}

void TMainForm::RestoreWindowState() {
  keepState_ = true;
  if (isMinimized() || isMaximized()) setWindowState(Qt::WindowNoState);
}

StoreProgress* TMainForm::Progress() {
  return progress_.get();
}

void TMainForm::WakeUpForSteps() {
  // Any thread: the steps run on the user-interface thread's event loop.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!app_) return;
        try {
          app_->RunPendingSteps();
        } catch (const std::exception& e) {
          // A tick that failed has cleared its busy flag; the next one tries again.
          std::cerr << "quillmoor98: a refresh failed: " << e.what() << std::endl;
        }
      },
      Qt::QueuedConnection);
}

// ---------------- tray and minimising ----------------

void TMainForm::AppMinimize() {
  minimized_ = true;
  if (isVisible() && !isMaximized()) homePosition_ = pos();
  // Without a notification area the taskbar entry is the only way back.
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    hide();
  } else {
    showMinimized();
  }
  Minimize->setEnabled(false);
}

void TMainForm::AppRestore() {
  minimized_ = false;
  if (!isVisible() || isMinimized()) {
    if (maximized_) {
      showMaximized();
    } else {
      move(homePosition_);
      showNormal();
    }
  }
  raise();
  activateWindow();
  Minimize->setEnabled(true);
}

void TMainForm::TrayIconDblClick() {
  AppRestore();
}

void TMainForm::WhoToKickChanged(KickStatus value) {
  QAction* item = value == KickAll ? Kickall : value == KickList ? Kicklist : Kicknobody;
  item->setChecked(true);
}

// ---------------- the trees ----------------

ConnectionTreeView* TMainForm::ActiveTree() const {
  return CurrentPageActive() ? TreeViewCurrent : TreeViewFormer;
}

TTreeNodeCustom* TMainForm::SelectedRecord() const {
  if (!app_) return nullptr;
  Monitor& m = app_->GetMonitor();
  TreeNode* node = CurrentPageActive() ? m.TreeViewCurrent.Selected() : m.TreeViewFormer.Selected();
  return node ? node->Data() : nullptr;
}

void TMainForm::TreeSelectionChanged(bool current) {
  if (!app_) return;
  Monitor& m = app_->GetMonitor();
  ConnectionTree& tree = m.TreeView(current);
  if (tree.Selected()) m.ShowInfo(tree);
}

void TMainForm::PageControlChange(int index) {
  if (!app_) return;
  Monitor& m = app_->GetMonitor();
  if (index == 1) {
    SetStatusText(1, "Number of former users: " + std::to_string(m.FormerUserCount));
  } else {
    SetStatusText(1, "Number of current users: " + std::to_string(m.CurrentUserCount));
    m.TreeViewCurrent.ExpandAll();
  }
  ConnectionTree& tree = m.TreeView(index != 1);
  ConnectionTreeView* view = index == 1 ? TreeViewFormer : TreeViewCurrent;
  if (!tree.Selected()) {
    SelectTopmostVisible(index == 0);
    view->setFocus();
  }
  if (tree.Selected()) {
    m.ShowInfo(tree);
  } else {
    m.ShowNoInfo(tree);
  }
}

void TMainForm::SelectTopmostVisible(bool current) {
  Monitor& m = app_->GetMonitor();
  ConnectionTree& tree =
      current ? static_cast<ConnectionTree&>(m.TreeViewCurrent) : m.TreeViewFormer;
  ConnectionTreeView* view = current ? TreeViewCurrent : TreeViewFormer;
  const QModelIndex top = view->indexAt(QPoint(1, 1));
  if (top.isValid()) {
    tree.Select(view->TreeModel()->NodeOf(top));
  } else if (tree.FirstNode()) {
    tree.Select(tree.FirstNode());
  }
}

void TMainForm::TabEnter(bool current) {
  if (!app_) return;
  Monitor& m = app_->GetMonitor();
  ConnectionTree& tree =
      current ? static_cast<ConnectionTree&>(m.TreeViewCurrent) : m.TreeViewFormer;
  if (!tree.Selected()) SelectTopmostVisible(current);
  if (!tree.Selected()) m.ShowNoInfo(tree);
}

QMenu* TMainForm::TreeViewMouseDown(const QPoint& pos) {
  if (!app_) return nullptr;
  Monitor& m = app_->GetMonitor();
  ConnectionTreeView* view = ActiveTree();
  ConnectionTree& tree = m.TreeView(CurrentPageActive());
  TreeNode* under = view->NodeAt(pos);
  if (under) tree.Select(under);
  TreeNode* selected = tree.Selected();
  if (selected && selected->Data()) {
    const bool open = selected->Data()->IsOpen();
    KickUserMenuItem->setEnabled(open);
    Deleteuserfromconnectionlist->setEnabled(!open);
  } else {
    m.ShowNoInfo(tree);
  }
  if (!selected || selected != under || !selected->Data()) return nullptr;
  if (IsUser(selected->Data())) return KickListPopup;
  if (IsFile(selected->Data())) return FilePopup;
  return nullptr;
}

void TMainForm::ShowTreeMenu(ConnectionTreeView* tree, const QPoint& pos) {
  if (tree != ActiveTree()) return;
  if (QMenu* menu = TreeViewMouseDown(pos)) menu->popup(tree->viewport()->mapToGlobal(pos));
}

// ---------------- commands ----------------

void TMainForm::RefreshTimerTimer() {
  if (!app_ || closing_) return;
  try {
    // The views catch up once the tick has applied its reading.
    app_->Tick([this] { CatchUpViews(); });
  } catch (const std::exception& e) {
    // The tick has cleared its busy flag; the next one tries again.
    std::cerr << "quillmoor98: a refresh failed: " << e.what() << std::endl;
  }
}

void TMainForm::KickButtonClick() {
  if (app_) app_->Rules().Disconnector().KickButtonClick();
}

void TMainForm::SpeedButtonAddClick() {
  if (app_)
    DisconnectListCommands::AddSelectedUser(app_->Rules().List(), *messages_, SelectedRecord());
}

void TMainForm::SpeedButtonRemoveClick() {
  if (app_) {
    DisconnectListCommands::RemoveSelectedUser(app_->Rules().List(), *messages_, SelectedRecord());
  }
}

void TMainForm::SpeedKickListButtonClick() {
  if (KickListForm) KickListForm->ShowModal();
}

void TMainForm::KickClick() {
  if (KickForm) KickForm->ShowModal();
}

void TMainForm::OptionsClick() {
  if (OptionsForm && password_ && password_->AskForOptions()) OptionsForm->ShowModal();
}

void TMainForm::AboutClick() {
  if (AboutForm) AboutForm->ShowModal();
}

void TMainForm::HelpClick() {
  if (!app_) return;
  // The data folder may be a folder of its own (QUILLMOOR98_PROGRAM_DIR);
  // the help file then still lies beside the program.
  ShowHelpWindow({Q(app_->HelpFile()), QCoreApplication::applicationDirPath() + "/" +
                                           QFileInfo(Q(app_->HelpFile())).fileName()},
                 this);
}

void TMainForm::ClearformerconnectionsClick() {
  if (history_) history_->ClearformerconnectionsClick();
  CatchUpViews();
}

void TMainForm::CollapseformerconnectionsClick() {
  if (history_) history_->CollapseformerconnectionsClick();
}

void TMainForm::DeleteuserfromconnectionlistClick() {
  if (history_)
    history_->DeleteuserfromconnectionlistClick(app_->GetMonitor().TreeViewFormer.Selected());
  CatchUpViews();
}

void TMainForm::CatchUpViews() {
  // The views show the end state of a tick or command before anything is
  // painted or clicked.
  if (currentModel_) currentModel_->Flush();
  if (formerModel_) formerModel_->Flush();
}

void TMainForm::SaveformerconnectionsasClick() {
  if (!app_) return;
  // The file dialog asks before it replaces a file: a Linux user expects
  // it of a save dialog, and the history written over is not to be lost
  // to a slip.
  const QString path = QFileDialog::getSaveFileName(this);
  if (path.isEmpty()) return;
  std::string error;
  Monitor& m = app_->GetMonitor();
  if (!SaveConnectionLog(m.TreeViewFormer, path.toStdString(), m.Now(), error)) {
    messages_->Error(error);
  }
}

void TMainForm::OpencomputerMenuItemClick() {
  if (TTreeNodeCustom* r = SelectedRecord(); r && IsUser(r)) shell_->OpenComputer(r->Name);
}

void TMainForm::OpenClick() {
  if (TTreeNodeCustom* r = SelectedRecord()) shell_->OpenFile(r->Name);
}

void TMainForm::ToolbarMenuItemClick() {
  ToolBar->setVisible(ToolbarMenuItem->isChecked());
}

void TMainForm::StatusBarMenuItemClick() {
  statusBar()->setVisible(StatusBarMenuItem->isChecked());
}

}  // namespace qm
