#pragma once

#include "app/printjobs.h"
#include "app/sessionwindows.h"
#include "app/windowplacement.h"
#include "browser/browserhost.h"
#include "browser/zoomlevels.h"
#include "engine/desktopnotifications.h"
#include "shared/measurements.h"
#include "system/platform.h"
#include "windows/toolspanelinstance.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class FavoritesMenu;
class FavoritesStore;
class MainMenus;
class OrganizeFavorites;
class PanelStatusBar;
class QAction;
class QMdiArea;
class QMenu;
class QToolBar;
class WebBrowser;
class frmBrowser;
class InternetOptions;
class frmHelp;
class frmHistory;
class frmDownloads;

// The main window: the document area holding the browser document windows and the
// tools panel, with the menus, toolbar and status bar whose commands act on the active
// document window.
class frmMain : public QMainWindow, public BrowserHost, public NotificationTarget
{
    Q_OBJECT
    // First, so that it outlives every window that counts into it.
    Measurements m_measurements;

public:
    // Builds the window and runs its load step (placement, Document 1, tools panel).
    // Given start addresses, Document 1 opens the first instead of the home page and each
    // further one opens in the next numbered window. With the windows from last time
    // chosen, those open first, from Document 1 on.
    explicit frmMain(const Platform &platform, QWidget *parent = nullptr, const QStringList &startAddresses = {});
    ~frmMain() override;

    // Makes, numbers, shows and focuses a new document window on the home page.
    // Returns it, or nullptr when no number is left to give.
    frmBrowser *LoadNewDoc();
    // What another start of the program handed over: each address in a new numbered window
    // in front, in order, or one on the home page when none was given; then the main window
    // comes forward with that start's token from the desktop.
    void openHandedOver(const QStringList &addresses, const QByteArray &activationToken);

    // The active child as a document window; nullptr when there is none or it is
    // another kind of child (the tools panel).
    frmBrowser *activeBrowser() const;
    // The one shared, unnumbered document window of the site shortcuts, made (and
    // shown) when it does not exist.
    frmBrowser *sharedBrowser();
    // The help viewer while it is open, else nullptr.
    frmHelp *helpViewer() const;
    // The favorites of the Favorites menu, and their organize window while it is open
    // (else nullptr).
    FavoritesStore &favorites();
    OrganizeFavorites *organizeFavorites() const;
    // The History window while it is open, else nullptr.
    frmHistory *historyWindow() const;
    // The downloads window while it is open, else nullptr.
    frmDownloads *downloadsWindow() const;

    void tbToolBar_ButtonClick(const QString &key);
    void mnuFileOpen_Click();
    void mnuFilePrint_Click();
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditPasteSpecial_Click();
    void mnuHalvaneTool_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuViewDownloads_Click();
    void mnuViewRefresh_Click();
    void mnuViewOptions_Click();
    void mnuFavoritesAdd_Click();
    void mnuFavoritesOrganize_Click();
    void mnuViewHistory_Click();
    void mnuWindowCascade_Click();
    void mnuWindowTileHorizontal_Click();
    void mnuWindowTileVertical_Click();
    void mnuWindowArrangeIcons_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    QMdiArea *const mdiArea;
    QToolBar *const tbToolBar;
    PanelStatusBar *const sbStatusBar;

    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileOpen = nullptr;
    QAction *mnuFileBar0 = nullptr;
    QAction *mnuFilePrint = nullptr;
    QAction *mnuFileBar3 = nullptr;
    QAction *mnuFileExit = nullptr;
    QMenu *mnuEdit = nullptr;
    QAction *mnuEditCut = nullptr;
    QAction *mnuEditCopy = nullptr;
    QAction *mnuEditPaste = nullptr;
    QAction *mnuEditPasteSpecial = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuHalvaneTool = nullptr;
    QAction *mnuViewToolbar = nullptr;
    QAction *mnuViewStatusBar = nullptr;
    QAction *mnuViewDownloads = nullptr;
    QAction *mnuViewBar0 = nullptr;
    QAction *mnuViewRefresh = nullptr;
    QAction *mnuViewOptions = nullptr;
    QMenu *mnuFavorites = nullptr;
    QAction *mnuFavoritesAdd = nullptr;
    QAction *mnuFavoritesOrganize = nullptr;
    QAction *mnuFavoritesBar0 = nullptr;
    QAction *mnuViewHistory = nullptr;
    QMenu *mnuWindow = nullptr;
    QAction *mnuWindowNewWindow = nullptr;
    QAction *mnuWindowBar0 = nullptr;
    QAction *mnuWindowCascade = nullptr;
    QAction *mnuWindowTileHorizontal = nullptr;
    QAction *mnuWindowTileVertical = nullptr;
    QAction *mnuWindowArrangeIcons = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpContents = nullptr;
    QAction *mnuHelpBar0 = nullptr;
    QAction *mnuHelpAbout = nullptr;

    qint32 DocumentCount = 0;
    bool ToolsVisible = false;
    ToolsPanelInstance toolsPanel;

    // What the document windows reach of the main window.
    void writeStatusText(const QString &text) override;
    ToolsPanelDisplay &loadedToolsPanel() override;
    Measurements &measurements() override { return m_measurements; }
    WebBrowser *openInNewWindow(const QString &address, bool behind) override;
    void flashStatusText(const QString &text) override;
    ZoomLevels &zoomLevels() override { return m_zoomLevels; }

    // Where pages' notifications lead.
    void showNotificationText(const QString &text) override;
    void bringForward(const QUrl &origin) override;

    // The fixed command line of View > Options...
    static QString optionsCommandLine();

protected:
    void closeEvent(QCloseEvent *event) override;
    // The first paint is the window appearing: a start-up trace step.
    void paintEvent(QPaintEvent *event) override;
    // Moves and resizes: where the stored placement waits for the frame.
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    QMenu *createPopupMenu() override;

private:
    // Builds the menus, toolbar and keys, and connects them to the handlers here.
    friend class MainMenus;

    // The visible document window that was active most recently (of those which takes,
    // when given), active or not now; nullptr when there is none.
    frmBrowser *lastActiveBrowser(const std::function<bool(const frmBrowser &)> &which = {}) const;
    // The document window the added keys and the favorites act on: the active one, else
    // the one active last, made active again; nullptr when there is none.
    frmBrowser *commandDocument();
    // A favorite or a visit chosen: into that document window, or a new numbered one when
    // asked for or there is none.
    void openAddress(const QString &address, bool newWindow = false);
    // A new numbered document window on the address (LoadNewDoc's steps). Without
    // navigate it stays empty, for a page's own request to be opened in it. Behind, the
    // window active before stays active and keeps the focus.
    frmBrowser *newDocument(const QString &address, bool navigate = true, bool behind = false);
    void MDIForm_Load(const QStringList &startAddresses);
    void MDIForm_Unload();
    void ShowToolsPanel();
    void mnuFileNew_Click();
    void mnuFileExit_Click();
    void mnuWindowNewWindow_Click();

    Platform m_platform;
    QPointer<frmBrowser> m_sharedBrowser;
    QPointer<frmHelp> m_help;
    QPointer<InternetOptions> m_options;
    QPointer<OrganizeFavorites> m_organize;
    QPointer<frmHistory> m_historyWindow;
    QPointer<frmDownloads> m_downloads;
    // The open dialog remembers the last file chosen, as it is never cleared.
    QString m_openFileName;
    // The menus, toolbar and keys; the placement in the settings; the printers in use.
    std::unique_ptr<MainMenus> m_menus;
    std::unique_ptr<FavoritesMenu> m_favorites;
    WindowPlacement m_placement;
    PrintJobs m_printJobs;
    // The numbered document windows, kept for the next start.
    SessionWindows m_session;
    bool m_painted = false;
    // Said when the window first shows, for HistoryNoticeMs: where the history is kept,
    // a session file set aside.
    QString m_historyNotice;
    static constexpr int HistoryNoticeMs = 15000;
    // Every document window's zoom, by host, for this session.
    ZoomLevels m_zoomLevels;
    static constexpr int FlashMs = 2000;
    static constexpr int NotificationMs = 6000;
};
