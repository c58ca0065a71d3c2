#include "app/frmMain.h"

#include "app/addresses.h"
#include "app/arrangement.h"
#include "app/mod1.h"
#include "app/panelstatusbar.h"
#include "app/placement.h"
#include "app/startuptrace.h"
#include "browser/frmBrowser.h"
#include "browser/historyfile.h"
#include "platform/browsingdata.h"
#include "platform/quietlog.h"
#include "platform/settingsstore.h"
#include "platform/twips.h"
#include "platform/webbrowser.h"
#include "platform/windowcaption.h"
#include "platform/windowframe.h"
#include "windows/frmAbout.h"
#include "windows/frmHelp.h"
#include "windows/frmtool2.h"
#include "windows/internetoptions.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QApplication>
#include <QMenuBar>
#include <QShortcut>
#include <QPrinter>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <limits>
#include <utility>

namespace {

const QString appName = QStringLiteral("Halvane");
const QString section = QStringLiteral("Settings");

// A toolbar picture, 16 pixels and drawn again at 32 for a screen at twice the density:
// light grey is drawn transparent, as the image list did.
QIcon toolbarPicture(const QString &name)
{
    QIcon icon;
    for (const QString &file : {name + QStringLiteral(".png"), name + QStringLiteral("-32.png")}) {
        QPixmap p(QStringLiteral(":/toolbar/") + file);
        p.setMask(p.createMaskFromColor(QColor(192, 192, 192), Qt::MaskInColor));
        icon.addPixmap(p);
    }
    return icon;
}

} // namespace

frmMain::frmMain(const Platform &platform, QWidget *parent)
    : QMainWindow(parent)
    , mdiArea(new QMdiArea(this))
    , tbToolBar(new QToolBar(this))
    , sbStatusBar(new PanelStatusBar(this))
    , toolsPanel(mdiArea, m_measurements)
    , m_platform(platform)
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
    buildMenus();
    buildToolbar();
    addBrowserKeys();
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

    MDIForm_Load();
    m_historyNotice = historyNotice();
    // Opens maximized; the placement just read is what it takes when restored.
    setWindowState(windowState() | Qt::WindowMaximized);
}

frmMain::~frmMain()
{
    // The panel's window goes with the document area; its going is no user's close.
    toolsPanel.disconnect(this);
}

void frmMain::buildMenus()
{
    auto menu = [this](const char *name, const QString &caption) {
        QMenu *m = menuBar()->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto action = [this](QMenu *m, const char *name, const QString &caption, void (frmMain::*handler)(),
                         const QKeySequence &shortcut = {}) {
        QAction *a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    auto separator = [](QMenu *m, const char *name) {
        QAction *a = m->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto checked = [](QAction *a) {
        a->setCheckable(true);
        a->setChecked(true);
        return a;
    };

    mnuFile = menu("mnuFile", QStringLiteral("&File"));
    mnuFileNew = action(mnuFile, "mnuFileNew", QStringLiteral("&New"), &frmMain::mnuFileNew_Click,
                        QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileOpen = action(mnuFile, "mnuFileOpen", QStringLiteral("&Open..."), &frmMain::mnuFileOpen_Click,
                         QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFileBar0 = separator(mnuFile, "mnuFileBar0");
    mnuFilePrint = action(mnuFile, "mnuFilePrint", QStringLiteral("&Print..."), &frmMain::mnuFilePrint_Click);
    mnuFileBar3 = separator(mnuFile, "mnuFileBar3");
    mnuFileExit = action(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), &frmMain::mnuFileExit_Click);

    mnuEdit = menu("mnuEdit", QStringLiteral("&Edit"));
    mnuEditCut = action(mnuEdit, "mnuEditCut", QStringLiteral("Cu&t"), &frmMain::mnuEditCut_Click,
                        QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuEditCopy = action(mnuEdit, "mnuEditCopy", QStringLiteral("&Copy"), &frmMain::mnuEditCopy_Click,
                         QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuEditPaste = action(mnuEdit, "mnuEditPaste", QStringLiteral("&Paste"), &frmMain::mnuEditPaste_Click,
                          QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuEditPasteSpecial = action(mnuEdit, "mnuEditPasteSpecial", QStringLiteral("Paste &Special..."),
                                 &frmMain::mnuEditPasteSpecial_Click);

    mnuView = menu("mnuView", QStringLiteral("&View"));
    mnuHalvaneTool = checked(action(mnuView, "mnuHalvaneTool", QStringLiteral("HalvaneTools"),
                                    &frmMain::mnuHalvaneTool_Click));
    mnuViewToolbar = checked(action(mnuView, "mnuViewToolbar", QStringLiteral("&Toolbar"),
                                    &frmMain::mnuViewToolbar_Click));
    mnuViewStatusBar = checked(action(mnuView, "mnuViewStatusBar", QStringLiteral("Status &Bar"),
                                      &frmMain::mnuViewStatusBar_Click));
    mnuViewBar0 = separator(mnuView, "mnuViewBar0");
    mnuViewRefresh = action(mnuView, "mnuViewRefresh", QStringLiteral("&Refresh"), &frmMain::mnuViewRefresh_Click);
    mnuViewOptions = action(mnuView, "mnuViewOptions", QStringLiteral("&Options..."), &frmMain::mnuViewOptions_Click);

    mnuWindow = menu("mnuWindow", QStringLiteral("&Window"));
    mnuWindowNewWindow = action(mnuWindow, "mnuWindowNewWindow", QStringLiteral("&New Window"),
                                &frmMain::mnuWindowNewWindow_Click);
    mnuWindowBar0 = separator(mnuWindow, "mnuWindowBar0");
    mnuWindowCascade = action(mnuWindow, "mnuWindowCascade", QStringLiteral("&Cascade"),
                              &frmMain::mnuWindowCascade_Click);
    mnuWindowTileHorizontal = action(mnuWindow, "mnuWindowTileHorizontal", QStringLiteral("Tile &Horizontal"),
                                     &frmMain::mnuWindowTileHorizontal_Click);
    mnuWindowTileVertical = action(mnuWindow, "mnuWindowTileVertical", QStringLiteral("Tile &Vertical"),
                                   &frmMain::mnuWindowTileVertical_Click);
    mnuWindowArrangeIcons = action(mnuWindow, "mnuWindowArrangeIcons", QStringLiteral("&Arrange Icons"),
                                   &frmMain::mnuWindowArrangeIcons_Click);
    connect(mnuWindow, &QMenu::aboutToShow, this, &frmMain::updateWindowList);

    mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    mnuHelpContents = action(mnuHelp, "mnuHelpContents", QStringLiteral("Help and Info"),
                             &frmMain::mnuHelpContents_Click);
    mnuHelpBar0 = separator(mnuHelp, "mnuHelpBar0");
    mnuHelpAbout = action(mnuHelp, "mnuHelpAbout", QStringLiteral("&About "), &frmMain::mnuHelpAbout_Click);
}

void frmMain::buildToolbar()
{
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(16, 16));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbToolBar->setFixedHeight(twips::toPixels(420));
    addToolBar(Qt::TopToolBarArea, tbToolBar);

    struct Button
    {
        const char *key;
        const char *tooltip;
        const char *picture;
    };
    // A null key is a fixed gap.
    const Button buttons[] = {
        {"Back", "Back", "back"},       {"Forward", "Forward", "forward"},
        {"Stop", "Stop", "delete"},     {"Refresh", "Refresh", "redo"},
        {nullptr, nullptr, nullptr},    {"Print", "Print", "print"},
        {nullptr, nullptr, nullptr},    {"Help", "Help", "help"},
        {nullptr, nullptr, nullptr},    {"Web Mail", "Marrowdyne Quillpost", "webmail"},
        {"Search", "Search", "search"},
    };
    for (const Button &b : buttons) {
        if (!b.key) {
            tbToolBar->addSeparator();
            continue;
        }
        const QString key = QLatin1String(b.key);
        QAction *a = tbToolBar->addAction(toolbarPicture(QLatin1String(b.picture)), QString());
        a->setObjectName(key);
        a->setToolTip(QLatin1String(b.tooltip));
        // Pictures only: the tip is the name a screen reader speaks.
        tbToolBar->widgetForAction(a)->setAccessibleName(a->toolTip());
        // 609 by 582 HIMETRIC.
        tbToolBar->widgetForAction(a)->setFixedSize(23, 22);
        connect(a, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
}

void frmMain::addBrowserKeys()
{
    // The keys browsers have taught everyone, on top of the menus' own shortcuts.
    auto key = [this](const QKeySequence &sequence, std::function<void()> command) {
        auto *shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, std::move(command));
    };
    key(QKeySequence(Qt::Key_F5), [this] { tbToolBar_ButtonClick(QStringLiteral("Refresh")); });
    key(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { tbToolBar_ButtonClick(QStringLiteral("Back")); });
    key(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { tbToolBar_ButtonClick(QStringLiteral("Forward")); });
    key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { mnuFilePrint_Click(); });
    // Each of these acts on the document window active last, making it active again when
    // another child (the tools panel, active at start) is; without one it does nothing.
    auto onActive = [this](std::function<void(frmBrowser &)> command) {
        return [this, command = std::move(command)] {
            frmBrowser *doc = activeBrowser();
            if (!doc && (doc = lastActiveBrowser()))
                mdiArea->setActiveSubWindow(doc->subWindow());
            if (doc)
                command(*doc);
        };
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_F), onActive(&frmBrowser::showFindStrip));
    for (const QKeySequence &toAddress : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6),
                                          QKeySequence(Qt::ALT | Qt::Key_D)})
        key(toAddress, onActive(&frmBrowser::focusAddress));
    key(QKeySequence(Qt::Key_F3), onActive(&frmBrowser::findNext));
    key(QKeySequence(Qt::SHIFT | Qt::Key_F3), onActive(&frmBrowser::findPrevious));
    key(QKeySequence(Qt::CTRL | Qt::Key_U), onActive([](frmBrowser &w) { w.brwWebBrowser->ViewPageSource(); }));
    key(QKeySequence(Qt::Key_F12), onActive([](frmBrowser &w) { w.brwWebBrowser->ShowDevTools(); }));
    auto zoom = [&onActive](int steps) { return onActive([steps](frmBrowser &w) { w.zoomBy(steps); }); };
    // Ctrl+= is Ctrl++ without the Shift that plus needs on many keyboards.
    key(QKeySequence(Qt::CTRL | Qt::Key_Plus), zoom(1));
    key(QKeySequence(Qt::CTRL | Qt::Key_Equal), zoom(1));
    key(QKeySequence(Qt::CTRL | Qt::Key_Minus), zoom(-1));
    key(QKeySequence(Qt::CTRL | Qt::Key_0), onActive(&frmBrowser::zoomReset));
    key(QKeySequence(Qt::Key_F11), [this] { toggleFullScreen(); });
    // Like tabs: the next or previous window in the order they were opened, at once.
    key(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { mdiArea->activateNextSubWindow(); });
    for (const QKeySequence &back : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)})
        key(back, [this] { mdiArea->activatePreviousSubWindow(); });
    // Esc stops a load only while the page itself has the focus; the page keeps the key
    // while it is not loading.
    key(QKeySequence(Qt::Key_Escape), [this] {
        frmBrowser *active = activeBrowser();
        QWidget *focus = QApplication::focusWidget();
        if (active && focus && active->brwWebBrowser->isAncestorOf(focus))
            tbToolBar_ButtonClick(QStringLiteral("Stop"));
    });
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
    switch (event->type()) {
    // Only what the window has been told it now is: on a state change the geometry and
    // frame are still the old state's, and a restored window equal in size to the
    // maximized one would look placed already.
    case QEvent::Move:
    case QEvent::Resize:
        placeOnceFrameKnown();
        break;
    default:
        break;
    }
    return done;
}

void frmMain::placeOnceFrameKnown()
{
    // A maximized window keeps the placement for when it is restored.
    if (!m_outerAwaitingFrame || !isVisible() || !windowHandle()
        || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return; // not told yet, or no frame at all: either way the placement holds
    const QRect wanted = placement::insideFrame(*m_outerAwaitingFrame, frame);
    // The manager may report a frame in steps; each correction is checked by the move
    // it causes, and a manager that will not have it ends the attempts.
    if (geometry() == wanted || m_frameCorrections-- <= 0) {
        m_outerAwaitingFrame.reset();
        return;
    }
    setGeometry(wanted);
}

void frmMain::toggleFullScreen()
{
    if (!isFullScreen() && windowHandle())
        m_frameBeforeFullScreen = windowHandle()->frameMargins();
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

QMenu *frmMain::createPopupMenu()
{
    // The toolbar's visibility belongs to View > Toolbar and its mark alone.
    return nullptr;
}

void frmMain::MDIForm_Load()
{
    SettingsStore &s = m_platform.settings;
    const QRectF placed = placement::fromTexts(
        s.get(appName, section, QStringLiteral("MainLeft"), placement::toText(placement::defaultLeft)),
        s.get(appName, section, QStringLiteral("MainTop"), placement::toText(placement::defaultTop)),
        s.get(appName, section, QStringLiteral("MainWidth"), placement::toText(placement::defaultWidth)),
        s.get(appName, section, QStringLiteral("MainHeight"), placement::toText(placement::defaultHeight)),
        minimumSizeHint());
    // The stored placement is the outer one. X11 moves and sizes the window inside its
    // frame, and the manager tells the frame only once asked or once the window is on
    // screen: ask before showing; failing an answer, correct once the frame is known.
    create();
    const QRect stored(twips::toPixels(qRound(placed.left())), twips::toPixels(qRound(placed.top())),
                       twips::toPixels(qRound(placed.width())), twips::toPixels(qRound(placed.height())));
    const std::optional<QMargins> frame = windowframe::beforeShown(windowHandle());
    // Restored, the window must be reachable: its title bar on a screen as they are now.
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect outer = placement::onScreens(
        stored, screens, frame && frame->top() > 0 ? frame->top() : placement::assumedTitleBar);
    setGeometry(placement::insideFrame(outer, frame.value_or(QMargins())));
    if (!frame) {
        m_outerAwaitingFrame = outer;
        m_frameCorrections = 3;
    }

    LoadNewDoc();
    ToolsVisible = true;
    ShowToolsPanel();
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

frmBrowser *frmMain::sharedBrowser()
{
    if (!m_sharedBrowser)
        m_sharedBrowser = new frmBrowser(mdiArea, m_platform, *this);
    return m_sharedBrowser;
}

QString frmMain::historyNotice() const
{
    // Only when it is not where the user would look, and once a run, not once a window.
    const ProgramFolder &folder = m_platform.folder;
    const ProgramFolder::Keeping keeping = folder.keeping();
    if (keeping == ProgramFolder::Keeping::BesideProgram || !folder.claimNotice())
        return {};
    const QString path = folder.keptFile(historyfile::fileName());
    if (keeping == ProgramFolder::Keeping::UserData)
        return QStringLiteral("Address history is kept in %1: the program's folder cannot be written.").arg(path);
    return QStringLiteral("Address history cannot be kept: neither the program's folder nor %1 can be written.")
        .arg(QDir::toNativeSeparators(QFileInfo(path).path()));
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
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
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
    // Every step that needs a document window is skipped when the active child is none.
    frmBrowser *active = activeBrowser();
    if (active)
        active->startBusyCheck();

    if (key == QLatin1String("Back")) {
        if (active)
            active->brwWebBrowser->GoBack();
    } else if (key == QLatin1String("Forward")) {
        if (active)
            active->brwWebBrowser->GoForward();
    } else if (key == QLatin1String("Stop")) {
        if (active) {
            active->timTimer->stop();
            active->brwWebBrowser->Stop();
            active->setWindowTitle(windowcaption::literal(active->brwWebBrowser->LocationName()));
        }
    } else if (key == QLatin1String("Refresh")) {
        if (active)
            active->brwWebBrowser->Refresh();
    } else if (key == QLatin1String("Print")) {
        mnuFilePrint_Click();
    } else if (key == QLatin1String("Help")) {
        mnuHelpContents_Click();
    } else if (key == QLatin1String("Web Mail")) {
        mod1::OpenWebMail(*sharedBrowser());
    } else if (key == QLatin1String("Search")) {
        mod1::OpenSearchPage(*sharedBrowser());
    }
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
    frmBrowser *active = activeBrowser();
    if (!active)
        return;
    WebBrowser *browser = active->brwWebBrowser;
    if (m_printing.count(browser) || !browser->PrintPage(printer.get()))
        return;
    m_printing[browser] = std::move(printer);
    connect(browser, &WebBrowser::PrintFinished, this, [this, browser] { printFinished(browser); },
            Qt::SingleShotConnection);
    // A window closed mid-print: the engine may still be drawing on the printer, and no
    // end will be reported; the printer is kept until the main window goes.
    connect(browser, &QObject::destroyed, this, [this, browser] {
        auto it = m_printing.find(browser);
        if (it == m_printing.end())
            return;
        m_orphanedPrinters.push_back(std::move(it->second));
        m_printing.erase(it);
    });
}

void frmMain::printFinished(WebBrowser *browser)
{
    m_printing.erase(browser);
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
    if (!m_options) {
        m_options = new InternetOptions(m_platform.settings, appName, *m_platform.browsingData,
                                        [this] { return deleteAddressHistory(); }, this);
        m_options->setAttribute(Qt::WA_DeleteOnClose);
    }
    // Modeless: the document windows, keys and menus stay usable while it is open.
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

bool frmMain::deleteAddressHistory()
{
    QString why;
    if (historyfile::clear(m_platform.folder.keptFile(historyfile::fileName()), &why)
        != historyfile::WriteResult::Written) {
        quietlog::warnOnce(lcHistory(), QStringLiteral("the address history could not be deleted: %1").arg(why));
        return false;
    }
    const auto children = mdiArea->subWindowList();
    for (QMdiSubWindow *sub : children) {
        if (auto *browser = qobject_cast<frmBrowser *>(sub->widget()))
            browser->forgetListedAddresses();
    }
    return true;
}

namespace {

// The children an arrangement moves: those shown and not minimized.
QList<QMdiSubWindow *> tileable(QMdiArea *area)
{
    QList<QMdiSubWindow *> out;
    const auto children = area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *s : children) {
        if (s->isVisible() && !s->isMinimized())
            out << s;
    }
    return out;
}

void place(const QList<QMdiSubWindow *> &windows, const QList<QRect> &rects)
{
    for (qsizetype i = 0; i < windows.size() && i < rects.size(); ++i) {
        if (windows[i]->isMaximized())
            windows[i]->showNormal();
        windows[i]->setGeometry(rects[i]);
    }
}

} // namespace

void frmMain::mnuWindowCascade_Click()
{
    mdiArea->cascadeSubWindows();
}

void frmMain::mnuWindowTileHorizontal_Click()
{
    const auto windows = tileable(mdiArea);
    place(windows, arrangement::tileHorizontal(int(windows.size()), mdiArea->viewport()->rect()));
}

void frmMain::mnuWindowTileVertical_Click()
{
    const auto windows = tileable(mdiArea);
    place(windows, arrangement::tileVertical(int(windows.size()), mdiArea->viewport()->rect()));
}

void frmMain::mnuWindowArrangeIcons_Click()
{
    QList<QMdiSubWindow *> icons;
    QList<QSize> sizes;
    const auto children = mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *s : children) {
        if (s->isVisible() && s->isMinimized()) {
            icons << s;
            sizes << s->size();
        }
    }
    const QList<QRect> rects = arrangement::arrangeIcons(sizes, mdiArea->viewport()->rect());
    for (qsizetype i = 0; i < icons.size(); ++i)
        icons[i]->move(rects[i].topLeft());
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
    mdiArea->closeAllSubWindows();
    event->accept();
}

void frmMain::MDIForm_Unload()
{
    if (isMinimized())
        return;
    // A maximized window stores its maximized bounds, as it reports them. One whose frame
    // was never told still stands at the placement it was given. A full screen is no
    // placement: the window stores where it goes back to when restored.
    QRect r = m_outerAwaitingFrame && !isMaximized() ? *m_outerAwaitingFrame : frameGeometry();
    if (isFullScreen())
        r = normalGeometry().marginsAdded(m_frameBeforeFullScreen);
    SettingsStore &s = m_platform.settings;
    s.save(appName, section, QStringLiteral("MainLeft"), placement::toText(float(twips::fromPixels(r.x()))));
    s.save(appName, section, QStringLiteral("MainTop"), placement::toText(float(twips::fromPixels(r.y()))));
    s.save(appName, section, QStringLiteral("MainWidth"), placement::toText(float(twips::fromPixels(r.width()))));
    s.save(appName, section, QStringLiteral("MainHeight"), placement::toText(float(twips::fromPixels(r.height()))));
}

void frmMain::updateWindowList()
{
    // Below the menu's own items: a separator and one numbered entry per child window.
    const auto own = mnuWindow->actions();
    for (QAction *a : own) {
        if (a->property("windowList").toBool()) {
            mnuWindow->removeAction(a);
            a->deleteLater();
        }
    }
    const QList<QMdiSubWindow *> children = mdiArea->subWindowList();
    QAction *bar = nullptr;
    int n = 0;
    for (QMdiSubWindow *child : children) {
        if (!child->isVisible())
            continue;
        if (!bar) {
            bar = mnuWindow->addSeparator();
            bar->setProperty("windowList", true);
        }
        ++n;
        QString caption = windowcaption::shown(child->windowTitle());
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = mnuWindow->addAction(
            (n < 10 ? QStringLiteral("&") : QString()) + QString::number(n) + QLatin1Char(' ') + caption);
        a->setProperty("windowList", true);
        a->setCheckable(true);
        a->setChecked(child == mdiArea->currentSubWindow());
        connect(a, &QAction::triggered, child, [this, child] { mdiArea->setActiveSubWindow(child); });
    }
}
