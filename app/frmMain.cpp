#include "app/frmMain.h"

#include "app/addresses.h"
#include "app/placement.h"
#include "browser/frmBrowser.h"
#include "platform/settingsstore.h"
#include "platform/twips.h"
#include "platform/webbrowser.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QWindow>
#include <limits>

namespace {

const QString appName = QStringLiteral("Halvane");
const QString section = QStringLiteral("Settings");

} // namespace

frmMain::frmMain(const Platform &platform, QWidget *parent)
    : QMainWindow(parent)
    , mdiArea(new QMdiArea(this))
    , toolsPanel(mdiArea, measurements)
    , m_platform(platform)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(appName);
    QIcon icon(QStringLiteral(":/icons/halvane-32.png"));
    icon.addFile(QStringLiteral(":/icons/halvane-16.png"));
    setWindowIcon(icon);

    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea);
    buildMenus();
    resize(twips::toPixels(4680), twips::toPixels(3135));

    MDIForm_Load();
    // Opens maximized; the placement just read is what it takes when restored.
    setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::buildMenus()
{
    auto action = [this](QMenu *menu, const char *name, const QString &caption) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileNew = action(mnuFile, "mnuFileNew", QStringLiteral("&New"));
    mnuFileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileBar3 = mnuFile->addSeparator();
    mnuFileBar3->setObjectName(QStringLiteral("mnuFileBar3"));
    mnuFileExit = action(mnuFile, "mnuFileExit", QStringLiteral("E&xit"));

    mnuWindow = menuBar()->addMenu(QStringLiteral("&Window"));
    mnuWindow->setObjectName(QStringLiteral("mnuWindow"));
    mnuWindowNewWindow = action(mnuWindow, "mnuWindowNewWindow", QStringLiteral("&New Window"));

    connect(mnuFileNew, &QAction::triggered, this, &frmMain::mnuFileNew_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuWindowNewWindow, &QAction::triggered, this, &frmMain::mnuWindowNewWindow_Click);
    connect(mnuWindow, &QMenu::aboutToShow, this, &frmMain::updateWindowList);
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
    // The stored size is the outer one; take off the frame where the platform knows it
    // before the window is shown, so the placement comes back as it was saved.
    create();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    move(twips::toPixels(qRound(placed.left())), twips::toPixels(qRound(placed.top())));
    resize(qMax(1, twips::toPixels(qRound(placed.width())) - frame.left() - frame.right()),
           qMax(1, twips::toPixels(qRound(placed.height())) - frame.top() - frame.bottom()));

    LoadNewDoc();
    ToolsVisible = true;
    ShowToolsPanel();
}

void frmMain::LoadNewDoc()
{
    if (DocumentCount == std::numeric_limits<qint32>::max()) {
        m_platform.dialogs.message(this, appName,
                                   QStringLiteral("No more document windows can be numbered."));
        return;
    }
    ++DocumentCount;
    auto *doc = new frmBrowser(mdiArea, m_platform);
    doc->setWindowTitle(QStringLiteral("Document ") + QString::number(DocumentCount));
    doc->brwWebBrowser->Navigate(addresses::homePage());
    doc->subWindow()->show();
    mdiArea->setActiveSubWindow(doc->subWindow());
    doc->setFocus();
    if (frmBrowser *active = activeBrowser())
        active->cboAddress->setEditText(addresses::homePage());
}

frmBrowser *frmMain::activeBrowser() const
{
    // The current child even while the main window itself is not the active window.
    QMdiSubWindow *sub = mdiArea->currentSubWindow();
    return sub ? qobject_cast<frmBrowser *>(sub->widget()) : nullptr;
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

void frmMain::closeEvent(QCloseEvent *event)
{
    MDIForm_Unload();
    mdiArea->closeAllSubWindows();
    event->accept();
}

void frmMain::MDIForm_Unload()
{
    if (isMinimized())
        return;
    // A maximized window stores its maximized bounds, as it reports them.
    const QRect r = frameGeometry();
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
    if (children.isEmpty())
        return;
    QAction *bar = mnuWindow->addSeparator();
    bar->setProperty("windowList", true);
    int n = 0;
    for (QMdiSubWindow *child : children) {
        if (!child->isVisible())
            continue;
        ++n;
        QString caption = child->windowTitle();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = mnuWindow->addAction(
            (n < 10 ? QStringLiteral("&") : QString()) + QString::number(n) + QLatin1Char(' ') + caption);
        a->setProperty("windowList", true);
        a->setCheckable(true);
        a->setChecked(child == mdiArea->currentSubWindow());
        connect(a, &QAction::triggered, child, [this, child] { mdiArea->setActiveSubWindow(child); });
    }
}
