// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillmoor 98 developers
#pragma once

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "core/FrontEnd.h"
#include "enforce/DisconnectStatus.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTabWidget;
class QToolBar;
class QGroupBox;

namespace qm {

class AdminPassword;
class AlertSound;
class DesktopNotifications;
class Application;
class ConnectionTreeModel;
class ConnectionTreeView;
class HistoryCommands;
class QtFileIcons;
class QtMessageBoxes;
class ShellOpen;
class TAboutForm;
class TKickForm;
class TKickListForm;
class TOptionsForm;
class TProgramNameForm;
class TUserNameForm;
class TreeImageList;
class TreeNode;
class TTreeNodeCustom;

// The main window: the two connection trees with their information
// panels, menus, toolbar, status bar and the notification-area icon. It is
// the desktop front end of the running program.
class TMainForm final : public QMainWindow, public FrontEnd, private DisconnectStatusObserver {
  Q_OBJECT

 public:
  TMainForm();
  ~TMainForm() override;

  // After the program's creation: the trees' models and the dialogs, in
  // their creation order.
  void Attach(Application& app, QtMessageBoxes& messages);
  // Before the program goes: the dialogs and models that refer to its
  // lists and trees go first.
  void Detach();
  // The first activation (the window itself never shows at start-up).
  void Start();
  // Ends the program without the password (session end, signals).
  void EndSession();
  bool Terminating() const { return terminating_; }

  // ---- FrontEnd ----
  bool WindowShown() const override;
  bool CurrentPageActive() const override;
  void SetCaption(const std::string& text) override;
  void SetApplicationHint(const std::string& text) override;
  void SetTrayTooltip(const std::string& text) override;
  void SetStatusText(int panel, const std::string& text) override;
  // The third status-bar panel holds the latest word on the server.
  void ServerNotice(const std::string& text) override { SetStatusText(2, text); }
  void InfoLabelChanged(InfoLabel label, const std::string& text) override;
  void UpdateConnectedIcon(bool connected) override;
  void PopupOnNewConnection() override;
  void PlayAlertSound() override;
  void NotifyNewConnection(const std::string& client, const std::string& share) override;
  void StopRefreshTimer() override;
  void RequestTerminate() override;
  void ApplyMainWindowBounds(const WindowBounds& bounds) override;
  WindowBounds MainWindowBounds() const override;
  void ApplyKickListBounds(const WindowBounds& bounds) override;
  WindowBounds KickListBounds() const override;
  void SetRefreshInterval(int milliseconds) override;
  // Any modal dialog (Options, the Disconnect List, an entry form) is open.
  bool EditingFiles() const override;
  void StartRefreshTimer() override;
  void ShowToolbar(bool shown) override;
  void ShowStatusbar(bool shown) override;
  bool ToolbarShown() const override;
  bool StatusbarShown() const override;
  void EnterNotificationArea() override;
  void RestoreWindowState() override;
  StoreProgress* Progress() override;
  void WakeUpForSteps() override;

  // ---- the window's widgets, under the names the monitor gives their trees and panels ----
  QTabWidget* PageControl = nullptr;
  QWidget* CurrentConnectionTab = nullptr;
  QWidget* FormerConnectionTab = nullptr;
  ConnectionTreeView* TreeViewCurrent = nullptr;
  ConnectionTreeView* TreeViewFormer = nullptr;
  QToolBar* ToolBar = nullptr;
  QWidget* StatusBarPanel = nullptr;
  QLabel* StatusPanels[3] = {nullptr, nullptr, nullptr};
  QProgressBar* ProgressBar = nullptr;
  QLabel* InfoLabels[kInfoLabelCount] = {};
  QTimer RefreshTimer;
  // Paces the activation's wait for the server service.
  QTimer ServerWaitTimer;
  QSystemTrayIcon* TrayIcon = nullptr;
  QMenu* TrayPopUp = nullptr;
  QMenu* KickListPopup = nullptr;
  QMenu* FilePopup = nullptr;

  QAction* Clearformerconnections = nullptr;
  QAction* Collapseformerconnections = nullptr;
  QAction* Saveformerconnectionsas = nullptr;
  QAction* ExitMenuItem = nullptr;
  QAction* ToolbarMenuItem = nullptr;
  QAction* StatusBarMenuItem = nullptr;
  QAction* Refresh = nullptr;
  QAction* Kick = nullptr;
  QAction* KickListMenuItem = nullptr;
  QAction* Options = nullptr;
  QAction* HelpMenuItem = nullptr;
  QAction* About = nullptr;
  QAction* KickToolButton = nullptr;
  QAction* KickListToolButton = nullptr;
  QAction* AddToolButton = nullptr;
  QAction* RemoveToolButton = nullptr;
  QAction* ClearFormerConnectionsToolButton = nullptr;
  QAction* CollapseFormerConnectionsToolButton = nullptr;
  QAction* SaveToFileToolButton = nullptr;
  QAction* HelpToolButton = nullptr;
  QAction* OpencomputerMenuItem = nullptr;
  QAction* Addusertokicklist = nullptr;
  QAction* Removeuserfromkicklist = nullptr;
  QAction* Deleteuserfromconnectionlist = nullptr;
  QAction* KickUserMenuItem = nullptr;
  QAction* Open = nullptr;
  QAction* OpenQuillmoor98MenuItem = nullptr;
  QAction* Minimize = nullptr;
  QAction* Kicknobody = nullptr;
  QAction* Kicklist = nullptr;
  QAction* Kickall = nullptr;
  QAction* PopUpMenuExit = nullptr;

  TOptionsForm* OptionsForm = nullptr;
  TAboutForm* AboutForm = nullptr;
  TKickForm* KickForm = nullptr;
  TKickListForm* KickListForm = nullptr;
  TUserNameForm* UserNameForm = nullptr;
  TProgramNameForm* ProgramNameForm = nullptr;

  // ---- handlers ----
  void RefreshTimerTimer();
  void KickButtonClick();
  void SpeedButtonAddClick();
  void SpeedButtonRemoveClick();
  void SpeedKickListButtonClick();
  void KickClick();
  void OptionsClick();
  void AboutClick();
  void HelpClick();
  void ClearformerconnectionsClick();
  void CollapseformerconnectionsClick();
  void SaveformerconnectionsasClick();
  void DeleteuserfromconnectionlistClick();
  void OpencomputerMenuItemClick();
  void OpenClick();
  void ToolbarMenuItemClick();
  void StatusBarMenuItemClick();
  void PageControlChange(int index);
  // The keyboard focus entered the current (or the former) page.
  void TabEnter(bool current);
  // The context menu a right click at pos of the active tree opens (null:
  // none), after the selection and enabling rules.
  QMenu* TreeViewMouseDown(const QPoint& pos);
  void AppMinimize();
  void AppRestore();
  void TrayIconDblClick();

  // The selected record of the active tree.
  TTreeNodeCustom* SelectedRecord() const;
  ConnectionTreeView* ActiveTree() const;

  // A new user of one tick: the client and the share it connected to.
  struct Arrival {
    QString client, share;
  };
  // The notification for the arrivals of one tick, and its title.
  static QString ArrivalsMessage(const std::vector<Arrival>& arrivals, QString* title = nullptr);
  AlertSound& Sound() { return *sound_; }

 signals:
  // The notification of one tick's arrivals, as it was sent.
  void ArrivalsNotified(const QString& title, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  class ProgressBarAdapter;

  void BuildMenus();
  void BuildToolBar();
  void BuildPages();
  void BuildStatusBar();
  void BuildTray();
  QGroupBox* BuildInfoPanel(bool current);
  void TreeSelectionChanged(bool current);
  void WhoToKickChanged(KickStatus value) override;
  void ShowTreeMenu(ConnectionTreeView* tree, const QPoint& pos);
  void ShowArrivals();
  // The notification area's balloon; false while its icon is being placed.
  bool ShowBalloon(const QString& title, const QString& text);
  void SelectTopmostVisible(bool current);
  // The last panel's text, cut to the panel's width.
  void FitServerText();
  void ActivateWithoutWaiting();
  void ServerWaitTimerTimer();
  void FinishActivation();
  void CatchUpViews();

  Application* app_ = nullptr;
  QtMessageBoxes* messages_ = nullptr;
  std::unique_ptr<TreeImageList> images_;
  std::unique_ptr<QtFileIcons> fileIcons_;
  std::unique_ptr<AlertSound> sound_;
  DesktopNotifications* notifications_ = nullptr;
  std::unique_ptr<AdminPassword> password_;
  std::unique_ptr<HistoryCommands> history_;
  std::unique_ptr<ShellOpen> shell_;
  std::unique_ptr<ProgressBarAdapter> progress_;
  ConnectionTreeModel* currentModel_ = nullptr;
  ConnectionTreeModel* formerModel_ = nullptr;
  QIcon idleIcon_, connectedIcon_;
  QPoint homePosition_;
  WindowBounds bounds_ = kMainWindowDefaultBounds;
  WindowBounds kickListBounds_ = kKickListDefaultBounds;
  bool started_ = false;
  bool terminating_ = false;
  bool closing_ = false;
  bool minimized_ = false;
  bool maximized_ = false;    // shown maximized when restored
  bool userResized_ = false;  // since the bounds were applied
  bool keepState_ = false;    // closing: maximized_ is what is saved
  std::vector<Arrival> arrivals_;
  QString serverText_;  // the last status panel's whole text
  int trayWaits_ = 0;
  int serverWaits_ = 0;
  bool soundPending_ = false;  // the alert of this tick's arrivals is on its way
};

}  // namespace qm
