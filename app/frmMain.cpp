#include "app/frmMain.h"

#include "app/addresses.h"
#include "app/addresshistory.h"
#include "app/arrangement.h"
#include "app/favoritesmenu.h"
#include "app/mainmenus.h"
#include "app/onewindow.h"
#include "app/panelstatusbar.h"
#include "app/startuptrace.h"
#include "browser/frmBrowser.h"
#include "engine/browsingdata.h"
#include "engine/downloads.h"
#include "engine/webbrowser.h"
#include "system/downloadlist.h"
#include "system/singleinstance.h"
#include "system/twips.h"
#include "system/visithistory.h"
#include "system/windowactivation.h"
#include "system/windowcaption.h"
#include "windows/frmAbout.h"
#include "windows/frmDownloads.h"
#include "windows/frmHelp.h"
#include "windows/frmHistory.h"
#include "windows/frmtool2.h"
#include "windows/internetoptions.h"
#include "windows/organizefavorites.h"
#include "windows/startchoice.h"

#include <QCloseEvent>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QToolBar>
#include <limits>
#include <utility>

namespace {

const QString appName = QStringLiteral("Halvane");
const QString section = QStringLiteral("Settings");

} // namespace

frmMain::frmMain(const Platform &platform, QWidget *parent, const QStringList &startAddresses)
    : QMainWindow(parent)
    , mdiArea(new QMdiArea(this))
    , tbToolBar(new QToolBar(this))
    , sbStatusBar(new PanelStatusBar(this))
    , toolsPanel(mdiArea, m_measurements)
    , m_platform(platform)
    , m_placement(*this, platform.settings, appName, section)
    , m_session(*mdiArea, SessionWindows::pathFor(platform.browsingData),
                [this](const QString &address) { return newDocument(address); })
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(appName);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/halvane-%1.png").arg(size));
    setWindowIcon(icon);

    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea);
    m_menus = std::make_unique<MainMenus>(*this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    setStatusBar(sbStatusBar);
    resize(twips::toPixels(4680), twips::toPixels(3135));

    // The View mark and the remembered state follow the panel, however it came or went.
    connect(&toolsPanel, &ToolsPanelInstance::panelLoaded, this, [this] {
        ToolsVisible = true;
        mnuHalvaneTool->setChecked(true);
    });
    connect(&toolsPanel, &ToolsPanelInstance::panelClosed, this, [this] {
        ToolsVisible = false;
        mnuHalvaneTool->setChecked(false);
    });

    // A click on a download's text leads to the downloads.
    connect(sbStatusBar, &PanelStatusBar::textPanelClicked, this, [this](const QString &text) {
        if (isDownloadStatusText(text))
            mnuViewDownloads_Click();
    });

    const QString sessionNotice = m_session.readLast();
    MDIForm_Load(startAddresses);
    QStringList notices{addresshistory::notice(m_platform.folder), sessionNotice,
                        m_platform.browsingData->downloads().notice()};
    if (m_platform.visits)
        notices << m_platform.visits->notice();
    notices.removeAll(QString());
    m_historyNotice = notices.join(u' ');
    // Opens maximized; the placement just read is what it takes when restored.
    setWindowState(windowState() | Qt::WindowMaximized);
}

frmMain::~frmMain()
{
    // The panel's window goes with the document area; its going is no user's close.
    toolsPanel.disconnect(this);
    // Before the favorites it shows.
    delete m_organize;
}

void frmMain::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    // The load step has made Document 1 by now: the window comes up with it.
    if (!m_painted) {
        m_painted = true;
        traceStartup("main window shown");
    }
}

bool frmMain::event(QEvent *event)
{
    const bool done = QMainWindow::event(event);
    // Only what the window has been told it now is: on a state change the geometry and
    // frame are still the old state's, and a restored window equal in size to the
    // maximized one would look placed already.
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        m_placement.correct();
    return done;
}

QMenu *frmMain::createPopupMenu()
{
    // The toolbar's visibility belongs to View > Toolbar and its mark alone.
    return nullptr;
}

void frmMain::MDIForm_Load(const QStringList &startAddresses)
{
    // The placement asks the window manager for the frame before showing: the native
    // window first.
    create();
    m_placement.apply();

    // The windows from last time come instead of the home page, and before the addresses
    // given, which stay the newest windows.
    const bool reopened = StartChoice::read(m_platform.settings, appName) == StartChoice::Start::LastWindows
                          && m_session.reopenLast();
    if (startAddresses.isEmpty() && !reopened)
        LoadNewDoc();
    for (const QString &address : startAddresses)
        newDocument(address);
    ToolsVisible = true;
    ShowToolsPanel();
    if (reopened && startAddresses.isEmpty())
        m_session.activateReopened();
    if (!reopened)
        m_session.offerLast(*sbStatusBar);
    if (const QString note = m_platform.browsingData->note(); !note.isEmpty()) {
        writeStatusText(note);
        // The first page's texts soon replace that: a mark stays for the whole session.
        sbStatusBar->addMark(QStringLiteral("lblNothingKept"), QStringLiteral("Nothing kept"), note);
    }
}

frmBrowser *frmMain::LoadNewDoc()
{
    return newDocument(addresses::homePage());
}

frmBrowser *frmMain::newDocument(const QString &address, bool navigate, bool behind)
{
    if (DocumentCount == std::numeric_limits<qint32>::max()) {
        m_platform.dialogs.message(this, appName,
                                   QStringLiteral("No more document windows can be numbered."));
        return nullptr;
    }
    ++DocumentCount;
    QPointer<QMdiSubWindow> previous = mdiArea->currentSubWindow();
    QPointer<QWidget> focus = QApplication::focusWidget();
    auto *doc = new frmBrowser(mdiArea, m_platform, *this);
    m_session.keep(doc);
    doc->setWindowTitle(QStringLiteral("Document ") + QString::number(DocumentCount));
    if (navigate)
        doc->brwWebBrowser->Navigate(address);
    doc->subWindow()->show();
    mdiArea->setActiveSubWindow(doc->subWindow());
    doc->setFocus();
    doc->cboAddress->setEditText(address);
    // Behind: made and shown like any other, then the user's window comes back on top,
    // with the keyboard where it was (a middle click must not move it).
    if (behind && previous) {
        mdiArea->setActiveSubWindow(previous);
        if (focus)
            focus->setFocus();
    }
    return doc;
}

void frmMain::openHandedOver(const QStringList &addresses, const QByteArray &activationToken)
{
    const QStringList opened = addresses.isEmpty() ? QStringList{addresses::homePage()} : addresses;
    for (const QString &address : opened) {
        if (frmBrowser *doc = newDocument(address))
            qCInfo(lcHandover, "%s: %s", qUtf8Printable(doc->windowTitle()), qUtf8Printable(address));
    }
    qCInfo(lcHandover, "brought forward, activation token \"%s\"", activationToken.constData());
    windowactivation::bringForward(this, activationToken);
}

WebBrowser *frmMain::openInNewWindow(const QString &address, bool behind)
{
    frmBrowser *doc = newDocument(address, false, behind);
    return doc ? doc->brwWebBrowser : nullptr;
}

frmBrowser *frmMain::activeBrowser() const
{
    // The current child even while the main window itself is not the active window.
    QMdiSubWindow *sub = mdiArea->currentSubWindow();
    return sub ? qobject_cast<frmBrowser *>(sub->widget()) : nullptr;
}

frmBrowser *frmMain::lastActiveBrowser(const std::function<bool(const frmBrowser &)> &which) const
{
    const QList<QMdiSubWindow *> order = mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = order.crbegin(); it != order.crend(); ++it) {
        auto *doc = qobject_cast<frmBrowser *>((*it)->widget());
        if (doc && (*it)->isVisible() && (!which || which(*doc)))
            return doc;
    }
    return nullptr;
}

frmBrowser *frmMain::commandDocument()
{
    frmBrowser *doc = activeBrowser();
    if (!doc && (doc = lastActiveBrowser()))
        mdiArea->setActiveSubWindow(doc->subWindow());
    return doc;
}

frmBrowser *frmMain::sharedBrowser()
{
    if (!m_sharedBrowser)
        m_sharedBrowser = new frmBrowser(mdiArea, m_platform, *this);
    return m_sharedBrowser;
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Over the text panel for a while, not in it: the first page's own status texts
    // would replace it before the window is even painted. They go on landing in the
    // panel, which shows again when the notice ends. Not before the window shows: the
    // bar hides only a panel that is visible when the message comes.
    if (!m_historyNotice.isEmpty())
        sbStatusBar->showMessage(std::exchange(m_historyNotice, QString()), HistoryNoticeMs);
}

void frmMain::writeStatusText(const QString &text)
{
    sbStatusBar->panel(1)->setText(text);
}

void frmMain::flashStatusText(const QString &text)
{
    sbStatusBar->showMessage(text, FlashMs);
}

void frmMain::showNotificationText(const QString &text)
{
    sbStatusBar->showMessage(text, NotificationMs);
}

void frmMain::bringForward(const QUrl &origin)
{
    // The notification knows its site, not its page: the window most recently active
    // on that site; none where every such page has gone elsewhere.
    const auto onSite = [&origin](const frmBrowser &doc) {
        return DesktopNotifications::sameOrigin(QUrl(doc.brwWebBrowser->LocationURL()), origin);
    };
    if (frmBrowser *doc = lastActiveBrowser(onSite)) {
        if (doc->subWindow()->isMinimized())
            doc->subWindow()->showNormal();
        mdiArea->setActiveSubWindow(doc->subWindow());
    }
    windowactivation::bringForward(this);
}

ToolsPanelDisplay &frmMain::loadedToolsPanel()
{
    return *toolsPanel.get();
}

void frmMain::ShowToolsPanel()
{
    toolsPanel.show();
}

void frmMain::mnuFileNew_Click()
{
    LoadNewDoc();
}

void frmMain::mnuWindowNewWindow_Click()
{
    LoadNewDoc();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::tbToolBar_ButtonClick(const QString &key)
{
    // Each button is an action of its own that carries its keys: the one of that key.
    m_menus->press(key);
}

void frmMain::mnuFileOpen_Click()
{
    if (!mdiArea->currentSubWindow())
        LoadNewDoc();
    const QString fileName = m_platform.dialogs.openFile(
        this, QStringLiteral("Open"), QStringLiteral("html;htm (*.html;htm)|*.html;htm"), m_openFileName);
    if (fileName.isEmpty())
        return;
    m_openFileName = fileName;
    // The file always gets a window of its own.
    frmBrowser *doc = LoadNewDoc();
    if (!doc)
        return;
    doc->brwWebBrowser->Navigate(fileName);
    doc->setWindowTitle(windowcaption::literal(fileName));
}

void frmMain::mnuFilePrint_Click()
{
    if (!mdiArea->currentSubWindow())
        return;
    std::unique_ptr<QPrinter> printer = m_platform.dialogs.choosePrinter(this, QStringLiteral("Print"));
    if (!printer)
        return;
    // Only a document window has a page to print; any other child prints nothing.
    if (frmBrowser *active = activeBrowser())
        m_printJobs.print(active->brwWebBrowser, std::move(printer));
}

void frmMain::mnuEditCut_Click()
{
    if (frmBrowser *active = activeBrowser())
        active->brwWebBrowser->EditCut();
}

void frmMain::mnuEditCopy_Click()
{
    if (frmBrowser *active = activeBrowser())
        active->brwWebBrowser->EditCopy();
}

void frmMain::mnuEditPaste_Click()
{
    if (frmBrowser *active = activeBrowser())
        active->brwWebBrowser->EditPaste();
}

void frmMain::mnuEditPasteSpecial_Click()
{
    m_platform.dialogs.message(this, appName, QStringLiteral("Add 'mnuEditPasteSpecial_Click' code."));
}

void frmMain::mnuHalvaneTool_Click()
{
    if (ToolsVisible) {
        ToolsVisible = false;
        toolsPanel.hide();
    } else {
        ToolsVisible = true;
        toolsPanel.show();
    }
    // The action flips its own mark when chosen; the panel's state decides it.
    mnuHalvaneTool->setChecked(ToolsVisible);
}

void frmMain::mnuViewToolbar_Click()
{
    // Choosing the item has inverted its mark; the toolbar follows the mark.
    tbToolBar->setVisible(mnuViewToolbar->isChecked());
}

void frmMain::mnuViewStatusBar_Click()
{
    sbStatusBar->setVisible(mnuViewStatusBar->isChecked());
}

frmDownloads *frmMain::downloadsWindow() const
{
    return m_downloads;
}

void frmMain::mnuViewDownloads_Click()
{
    showOneWindow(m_downloads,
                  [this] { return new frmDownloads(m_platform.browsingData->downloads(), m_platform.launcher, this); });
}

void frmMain::mnuViewRefresh_Click()
{
    if (frmBrowser *active = activeBrowser())
        active->brwWebBrowser->Refresh();
}

QString frmMain::optionsCommandLine()
{
    return QStringLiteral("c:\\windows\\control.exe C:\\windows\\system\\inetcpl.cpl");
}

void frmMain::mnuViewOptions_Click()
{
    QString error;
    if (m_platform.launcher.startDetached(optionsCommandLine(), &error))
        return;
    // There is no such control panel here (on every Linux desktop): our own options.
    // Modeless: the document windows, keys and menus stay usable while it is open.
    showOneWindow(m_options, [this] {
        std::function<bool()> deleteVisits;
        if (VisitHistory *visits = m_platform.visits)
            deleteVisits = [visits] { return visits->removeAll(); };
        return new InternetOptions(m_platform.settings, appName, *m_platform.browsingData,
                                   [this] { return addresshistory::clear(m_platform.folder, *mdiArea); }, this,
                                   deleteVisits);
    });
}

FavoritesStore &frmMain::favorites()
{
    return m_favorites->store();
}

OrganizeFavorites *frmMain::organizeFavorites() const
{
    return m_organize;
}

void frmMain::mnuFavoritesAdd_Click()
{
    if (frmBrowser *doc = commandDocument())
        m_favorites->addPage(doc->brwWebBrowser->LocationName(), doc->brwWebBrowser->LocationURL());
}

void frmMain::mnuFavoritesOrganize_Click()
{
    showOneWindow(m_organize, [this] { return new OrganizeFavorites(m_favorites->store(), m_platform.dialogs, this); });
}

frmHistory *frmMain::historyWindow() const
{
    return m_historyWindow;
}

void frmMain::mnuViewHistory_Click()
{
    if (!m_platform.visits)
        return;
    showOneWindow(m_historyWindow, [this] {
        auto *window = new frmHistory(*m_platform.visits, this);
        connect(window, &frmHistory::openRequested, this, &frmMain::openAddress);
        return window;
    });
}

void frmMain::openAddress(const QString &address, bool newWindow)
{
    frmBrowser *doc = newWindow ? nullptr : commandDocument();
    if (!doc) {
        newDocument(address);
        return;
    }
    doc->cboAddress->setEditText(address);
    doc->startBusyCheck();
    doc->brwWebBrowser->Navigate(address);
}

void frmMain::mnuWindowCascade_Click()
{
    mdiArea->cascadeSubWindows();
}

void frmMain::mnuWindowTileHorizontal_Click()
{
    arrangement::tileChildren(mdiArea, arrangement::tileHorizontal);
}

void frmMain::mnuWindowTileVertical_Click()
{
    arrangement::tileChildren(mdiArea, arrangement::tileVertical);
}

void frmMain::mnuWindowArrangeIcons_Click()
{
    arrangement::arrangeChildIcons(mdiArea);
}

frmHelp *frmMain::helpViewer() const
{
    return m_help;
}

void frmMain::mnuHelpContents_Click()
{
    if (!m_help)
        m_help = new frmHelp(m_platform.folder);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void frmMain::mnuHelpAbout_Click()
{
    frmAbout about(m_platform.localAddress, this);
    about.exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Pages with questions open are inside calls of the engine's that must return
    // before their windows may go: the questions end as cancelled, and the main window
    // closes once they have returned.
    bool waiting = false;
    const QList<QMdiSubWindow *> children = mdiArea->subWindowList();
    for (QMdiSubWindow *child : children) {
        auto *doc = qobject_cast<frmBrowser *>(child->widget());
        if (doc && doc->brwWebBrowser->CloseDialogs()) {
            waiting = true;
            connect(doc->brwWebBrowser, &WebBrowser::DialogsClosed, this, &QWidget::close,
                    Qt::SingleShotConnection);
        }
    }
    if (waiting) {
        event->ignore();
        return;
    }
    MDIForm_Unload();
    // An orderly end, before the windows go.
    m_session.finish();
    mdiArea->closeAllSubWindows();
    event->accept();
}

void frmMain::MDIForm_Unload()
{
    m_placement.store();
}
