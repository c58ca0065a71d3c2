#include "browser/frmBrowser.h"

#include "browser/browserhost.h"
#include "browser/findstrip.h"
#include "browser/fullscreenpage.h"
#include "browser/historyfile.h"
#include "browser/linkping.h"
#include "browser/statustext.h"
#include "browser/typedaddress.h"
#include "browser/zoomlevels.h"
#include "platform/locationtext.h"
#include "platform/pingsocket.h"
#include "platform/platform.h"
#include "platform/twips.h"
#include "platform/webbrowser.h"
#include "platform/windowcaption.h"
#include "shared/measurements.h"
#include "shared/named.h"
#include "shared/toolspaneldisplay.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QStringListModel>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace {

constexpr int innerWidth = 6540;
constexpr int innerHeight = 5070;
constexpr int stripHeight = 675;
constexpr qint64 pingTimeoutMs = 1000;
constexpr qint64 slowPageMs = 500;
constexpr int busyFirstCheckMs = 5;
constexpr int busyRecheckMs = 100;

// Timer1 and Timer2 are alarms the shared counters set, single-shot, for the moment a
// threshold is reached; the milliseconds come from the clock, not from their ticks.
// timTimer checks the page once a command has had a moment, then as the page's load ends.
QTimer *timer(QObject *parent, const char *name, int intervalMs)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    t->setTimerType(Qt::PreciseTimer);
    t->setSingleShot(true);
    return t;
}

// The edit field holds far more than the longest address the history keeps, so that a
// longer one is refused whole rather than cut short and visited (the field cuts what
// goes past its length, silently).
constexpr int editLength = int(16 * historyfile::MaxAddressBytes);

// Too long to visit or keep: the file would drop it on reading.
bool tooLong(const QString &address)
{
    return !address.isEmpty() && !historyfile::fits(address);
}

// A user name and password in an address are never listed or kept: the file is on disk
// for good, and windows show the list to whoever looks.
QString withoutUserInfo(const QString &location)
{
    const QUrl url(location);
    if (url.userInfo().isEmpty())
        return location;
    return locationText(url.adjusted(QUrl::RemoveUserInfo));
}

} // namespace

frmBrowser::frmBrowser(QMdiArea *mdiArea, const Platform &platform, BrowserHost &host)
    : Socket1(named(new PingSocket(platform.localAddress, this, platform.resolver), "Socket1"))
    , Timer2(timer(this, "Timer2", 1))
    , Timer1(timer(this, "Timer1", 1))
    , timTimer(timer(this, "timTimer", busyFirstCheckMs))
    , picAddress(named(new QWidget(this), "picAddress"))
    , cboAddress(named(new QComboBox(picAddress), "cboAddress"))
    , ProgressBar1(named(new QProgressBar(picAddress), "ProgressBar1"))
    , lblAddress(named(new QLabel(QStringLiteral("&Address:"), picAddress), "lblAddress"))
    , brwWebBrowser(named(platform.makeBrowser(this), "brwWebBrowser"))
    , m_host(host)
    , m_historyPath(platform.folder.keptFile(historyfile::fileName()))
    , m_history(m_historyPath)
{
    setObjectName(QStringLiteral("frmBrowser"));
    QIcon icon(QStringLiteral(":/icons/document-32.png"));
    icon.addFile(QStringLiteral(":/icons/document-16.png"));
    setWindowIcon(icon);
    resize(sizeHint());

    twips::place(picAddress, 0, 0, innerWidth, stripHeight);
    picAddress->setFocusPolicy(Qt::NoFocus);

    cboAddress->setEditable(true);
    cboAddress->lineEdit()->setMaxLength(editLength);
    m_typed = new TypedAddress(cboAddress);
    // The list changes only through the history file and completed navigations.
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    cboAddress->setDuplicatesEnabled(true);
    // A history of a million addresses must not be measured item by item.
    cboAddress->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboAddress->setModel(new QStringListModel(cboAddress));
    if (auto *view = qobject_cast<QListView *>(cboAddress->view()))
        view->setUniformItemSizes(true);
    // Matching addresses show in a list under the box; the text changes only when the
    // user picks one, so Enter visits exactly what was typed.
    QCompleter *suggestions = cboAddress->completer();
    suggestions->setCompletionMode(QCompleter::PopupCompletion);
    suggestions->setCaseSensitivity(Qt::CaseInsensitive);
    if (auto *list = qobject_cast<QListView *>(suggestions->popup()))
        list->setUniformItemSizes(true);
    // While the list is up it has the keys, Enter included.
    suggestions->popup()->installEventFilter(this);
    // Left alone, the box picks the entry equal to its text (in any case) whenever an
    // edit ends, on Enter or on leaving the box, and that visit comes on top of Enter's.
    disconnect(cboAddress->lineEdit(), &QLineEdit::editingFinished, cboAddress, nullptr);
    twips::place(cboAddress, 120, 300, 3795, 315);
    // The box is named by its label; the field inside it and its list have none shown.
    cboAddress->lineEdit()->setAccessibleName(QStringLiteral("Address"));
    cboAddress->view()->setAccessibleName(QStringLiteral("Addresses visited"));

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Page loading"));
    twips::place(ProgressBar1, 3840, 0, 2535, 255);

    lblAddress->setBuddy(cboAddress);
    twips::place(lblAddress, 45, 60, 3075, 255);

    twips::place(brwWebBrowser, 50, 1215, 5393, 3734);
    brwWebBrowser->setAccessibleName(QStringLiteral("Page"));
    // A Tab stop whatever the control holds inside it.
    brwWebBrowser->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(brwWebBrowser, cboAddress);
    setFocusProxy(brwWebBrowser);

    // Front to back: address box, progress bar, label.
    lblAddress->lower();

    connect(cboAddress, &QComboBox::activated, this, &frmBrowser::cboAddress_Click);
    // Keys reach the box itself, which hands them on to its edit field.
    cboAddress->installEventFilter(this);

    connect(brwWebBrowser, &WebBrowser::StatusTextChange, this, &frmBrowser::brwWebBrowser_StatusTextChange);
    connect(brwWebBrowser, &WebBrowser::ProgressChange, this, &frmBrowser::brwWebBrowser_ProgressChange);
    connect(brwWebBrowser, &WebBrowser::DownloadBegin, this, &frmBrowser::brwWebBrowser_DownloadBegin);
    connect(brwWebBrowser, &WebBrowser::DownloadComplete, this, &frmBrowser::brwWebBrowser_DownloadComplete);
    connect(brwWebBrowser, &WebBrowser::TitleChange, this, &frmBrowser::brwWebBrowser_TitleChange);
    connect(brwWebBrowser, &WebBrowser::BeforeNavigate2, this, &frmBrowser::brwWebBrowser_BeforeNavigate2);
    connect(brwWebBrowser, &WebBrowser::NavigateComplete2, this, &frmBrowser::brwWebBrowser_NavigateComplete2);
    connect(brwWebBrowser, &WebBrowser::ZoomWheel, this, &frmBrowser::zoomBy);
    connect(brwWebBrowser, &WebBrowser::FullScreenChange, this, &frmBrowser::brwWebBrowser_FullScreenChange);
    // Closed once the engine is out of the call that told it.
    connect(brwWebBrowser, &WebBrowser::NewWindowNotNeeded, this, [this] {
        if (m_subWindow)
            m_subWindow->close();
    }, Qt::QueuedConnection);
    brwWebBrowser->setNewWindowHandler(
        [this](const QString &address, bool behind) { return m_host.openInNewWindow(address, behind); });
    connect(timTimer, &QTimer::timeout, this, &frmBrowser::timTimer_Timer);
    connect(Timer1, &QTimer::timeout, this, &frmBrowser::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmBrowser::Timer2_Timer);
    connect(Socket1, &PingSocket::connected, this, &frmBrowser::Socket1_Connect);
    connect(Socket1, &PingSocket::dataArrived, this, &frmBrowser::Socket1_Read);
    // A host name that passed as one but does not resolve fails as it would at once.
    connect(Socket1, &PingSocket::lookupFailed, this, &frmBrowser::showPingFailure);

    Form_Load(mdiArea);
}

QSize frmBrowser::sizeHint() const
{
    return {twips::toPixels(innerWidth), twips::toPixels(innerHeight)};
}

void frmBrowser::Form_Load(QMdiArea *mdiArea)
{
    Socket1->setBufferSize(1024);

    m_subWindow = mdiArea->addSubWindow(this);
    m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_subWindow->show();

    Form_Resize();

    const QRect label = lblAddress->geometry();
    cboAddress->move(twips::toPixels(50), label.y() + label.height() + twips::toPixels(15));

    // A history that cannot be read leaves what was read so far; no message. Of a file
    // of more addresses than anyone scrolls through, the newest are listed (the file
    // keeps them all).
    auto *model = qobject_cast<QStringListModel *>(cboAddress->model());
    model->setStringList(historyfile::readLast(m_historyPath, ListedAddresses).entries);
    cboAddress->setCurrentIndex(-1);
}

void frmBrowser::focusAddress()
{
    cboAddress->setFocus(Qt::ShortcutFocusReason);
    cboAddress->lineEdit()->selectAll();
}

void frmBrowser::forgetListedAddresses()
{
    const QString typed = cboAddress->currentText();
    qobject_cast<QStringListModel *>(cboAddress->model())->setStringList({});
    cboAddress->setEditText(typed);
}

void frmBrowser::Form_Resize()
{
    const int w = twips::fromPixels(width());
    const int h = twips::fromPixels(height());

    picAddress->setGeometry(0, 0, width(), twips::toPixels(stripHeight));

    // A size the control cannot take (negative) is skipped; it keeps its last one.
    if (w - 100 >= 0)
        cboAddress->resize(twips::toPixels(w - 100), cboAddress->height());

    // Away on the full screen, the control is placed when it comes back.
    if (m_fullScreenPage)
        return;
    QRect r = brwWebBrowser->geometry();
    r.moveTo(twips::toPixels(100), twips::toPixels(700));
    if (w - 200 >= 0)
        r.setWidth(twips::toPixels(w - 200));
    if (h - 800 >= 0)
        r.setHeight(twips::toPixels(h - 800));
    // The find strip, while shown, takes the bottom of the page's room.
    if (m_findStrip && !m_findStrip->isHidden()) {
        const int stripHeight = m_findStrip->sizeHint().height();
        r.setHeight(std::max(0, r.height() - stripHeight));
        m_findStrip->setGeometry(r.x(), r.y() + r.height(), r.width(), stripHeight);
    }
    brwWebBrowser->setGeometry(r);
}

void frmBrowser::showFindStrip()
{
    if (!m_findStrip) {
        m_findStrip = new FindStrip(brwWebBrowser, this);
        connect(m_findStrip, &FindStrip::visibilityChanged, this, &frmBrowser::Form_Resize);
    }
    m_findStrip->open();
}

void frmBrowser::findNext()
{
    findAgain(false);
}

void frmBrowser::findPrevious()
{
    findAgain(true);
}

void frmBrowser::findAgain(bool backward)
{
    if (!m_findStrip || m_findStrip->isHidden() || m_findStrip->field->text().isEmpty()) {
        showFindStrip();
        return;
    }
    m_findStrip->find(backward);
}

void frmBrowser::zoomBy(int steps)
{
    setZoom(ZoomLevels::stepFrom(m_zoomPercent, steps));
}

void frmBrowser::zoomReset()
{
    setZoom(ZoomLevels::Normal);
}

void frmBrowser::setZoom(int percent)
{
    m_host.zoomLevels().setLevel(ZoomLevels::keyOf(brwWebBrowser->LocationURL()), percent);
    m_host.flashStatusText(QStringLiteral("Zoom %1 %").arg(percent));
    if (percent == m_zoomPercent)
        return;
    m_zoomPercent = percent;
    brwWebBrowser->SetZoomPercent(percent);
}

void frmBrowser::brwWebBrowser_FullScreenChange(bool fullScreen)
{
    if (fullScreen == bool(m_fullScreenPage))
        return;
    if (fullScreen) {
        m_fullScreenPage = new FullScreenPage(brwWebBrowser, this);
        return;
    }
    m_fullScreenPage->giveBack();
    delete std::exchange(m_fullScreenPage, nullptr);
    Form_Resize();
}

void frmBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmBrowser::closeEvent(QCloseEvent *event)
{
    // A question the page has open is a call of the engine's still under way: the
    // window leaves the screen now and goes once the questions have returned, cancelled.
    if (brwWebBrowser->CloseDialogs()) {
        event->ignore();
        m_subWindow->hide();
        connect(brwWebBrowser, &WebBrowser::DialogsClosed, m_subWindow, &QWidget::close,
                Qt::SingleShotConnection);
        return;
    }
    QWidget::closeEvent(event);
}

void frmBrowser::cboAddress_Click()
{
    m_typed->reset();
    if (SuppressNavigate)
        return;
    const QString address = cboAddress->currentText();
    if (tooLong(address)) {
        m_host.writeStatusText(QStringLiteral("The address is too long to visit (%1 characters).").arg(address.size()));
        return;
    }
    startBusyCheck();
    brwWebBrowser->Navigate(address);
}

void frmBrowser::cboAddress_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboAddress_Click();
}

bool frmBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == cboAddress && enter)
        cboAddress_KeyPress(13);
    QAbstractItemView *suggestions = cboAddress->completer()->popup();
    if (watched == suggestions && enter) {
        // Enter on a suggestion the user moved to visits it; otherwise the text as typed.
        // Taken here whole: the list would hand it to the edit field as well and visit twice.
        const QModelIndex picked = suggestions->currentIndex();
        suggestions->hide();
        if (picked.isValid())
            cboAddress->setEditText(picked.data().toString());
        cboAddress_KeyPress(13);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmBrowser::setListIndex(int index)
{
    cboAddress->setCurrentIndex(index);
    // The entry's text even when the index was already there and the user had typed.
    cboAddress->setEditText(cboAddress->itemText(index));
    cboAddress_Click();
}

void frmBrowser::brwWebBrowser_StatusTextChange(const QString &text)
{
    m_host.writeStatusText(statustext::bounded(text));
}

void frmBrowser::brwWebBrowser_ProgressChange(int progress, int progressMax)
{
    if (progress == -1 || progressMax == 0) {
        ProgressBar1->hide();
        return;
    }
    ProgressBar1->show();
    // The bar refuses a range that is empty or backwards, and a value outside its
    // range; a refused step ends the handler, what was done stays.
    if (progressMax <= ProgressBar1->minimum())
        return;
    ProgressBar1->setMaximum(progressMax);
    ProgressBar1->setMinimum(0);
    if (progress < 0 || progress > progressMax)
        return;
    ProgressBar1->setValue(progress);
}

void frmBrowser::brwWebBrowser_NavigateComplete2(const QString &)
{
    setWindowTitle(windowcaption::literal(brwWebBrowser->LocationName()));

    // Each host at the level chosen for it this session.
    const int zoom = m_host.zoomLevels().levelFor(ZoomLevels::keyOf(brwWebBrowser->LocationURL()));
    if (zoom != m_zoomPercent) {
        m_zoomPercent = zoom;
        brwWebBrowser->SetZoomPercent(zoom);
    }

    const QString location = withoutUserInfo(brwWebBrowser->LocationURL());
    // An address the box could not show whole, nor the file keep, is neither listed
    // nor kept; the box then shows none rather than the previous page's.
    const bool keep = !tooLong(location);
    // What the user is typing stays in the box; the list still gains the address.
    const bool typing = m_typed->isBeingTyped();
    SuppressNavigate = true;
    if (keep) {
        auto *model = qobject_cast<QStringListModel *>(cboAddress->model());
        m_typed->keepAcross([&] {
            // The first entry equal to the location, compared exactly.
            const int found = int(model->stringList().indexOf(location));
            if (found >= 0)
                model->removeRows(found, 1);
            model->insertRows(0, 1);
            model->setData(model->index(0), location);
        });
        if (!typing)
            setListIndex(0);
    } else {
        if (!typing) {
            cboAddress->setCurrentIndex(-1);
            cboAddress->setEditText(QString());
            m_typed->reset();
        }
        m_host.writeStatusText(QStringLiteral("The address is too long to keep (%1 characters).").arg(location.size()));
    }
    SuppressNavigate = false;

    ProgressBar1->setValue(0);
    ProgressBar1->hide();

    if (!keep || location == QLatin1String("about:NavigationCanceled"))
        return;
    m_history.append(location);
}

void frmBrowser::startBusyCheck()
{
    timTimer->start(busyFirstCheckMs);
}

void frmBrowser::timTimer_Timer()
{
    if (brwWebBrowser->Busy()) {
        setWindowTitle(QStringLiteral("Working..."));
        // The load's end calls this at once; the wait covers a busy state that ends
        // without a load ending (a call the engine never took up).
        timTimer->start(busyRecheckMs);
        return;
    }
    timTimer->stop();
    setWindowTitle(windowcaption::literal(brwWebBrowser->LocationName()));
}

void frmBrowser::brwWebBrowser_BeforeNavigate2(const QString &url)
{
    Measurements &shared = m_host.measurements();
    if (!shared.LinkPingEnabled)
        return;

    const linkping::Target target = linkping::parse(url);
    // Selects what stood before the first slash; no slash at all cannot be pinged.
    if (target.slash - 1 < 0) {
        showPingFailure();
        return;
    }
    m_host.loadedToolsPanel().showPingHost(target.host, target.slash - 1);
    if (target.remainder.isEmpty())
        return;
    // The host as the panel's box shows it: the box cuts only far past a host name's length.
    if (!Socket1->setHostName(target.host)) {
        showPingFailure();
        return;
    }
    Socket1->setRemotePort(80);
    if (!Socket1->setAction(PingSocket::ActionConnect)) {
        showPingFailure();
        return;
    }
    if (!shared.PingTicks.isRunning(Timer1))
        shared.PingTicks.run(Timer1, pingTimeoutMs);
}

void frmBrowser::showPingFailure()
{
    m_host.loadedToolsPanel().showPingFailure(linkping::failureMessage());
}

void frmBrowser::Timer1_Timer()
{
    TickCounter &ticks = m_host.measurements().PingTicks;
    // The time-out: nothing shown, the attempt left to itself.
    if (ticks.isRunning(Timer1) && ticks.reached()) {
        ticks.stop(Timer1);
        ticks.reset();
    }
}

void frmBrowser::Socket1_Connect()
{
    TickCounter &ticks = m_host.measurements().PingTicks;
    ticks.stop(Timer1);
    ToolsPanelDisplay &panel = m_host.loadedToolsPanel();
    panel.showRemoteAddress(Socket1->remoteAddress());
    panel.showPingTime(ticks.text());
    ticks.reset();
    if (Socket1->isConnected())
        Socket1->setAction(PingSocket::ActionClose);
}

void frmBrowser::Socket1_Read(int dataLength, bool)
{
    Socket1->setReceiveLength(dataLength);
}

void frmBrowser::brwWebBrowser_DownloadBegin()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    if (!ticks.isRunning(Timer2))
        ticks.run(Timer2, slowPageMs);
}

void frmBrowser::Timer2_Timer()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    if (ticks.isRunning(Timer2) && ticks.reached())
        m_host.loadedToolsPanel().showSlowLoad();
}

void frmBrowser::brwWebBrowser_DownloadComplete()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    ticks.stop(Timer2);
    m_host.loadedToolsPanel().showLoadTime(ticks.text());
    ticks.reset();
    setWindowTitle(windowcaption::literal(brwWebBrowser->LocationName()));
    // The end of a load is when a busy check running since a command can end.
    if (timTimer->isActive())
        timTimer_Timer();
}

void frmBrowser::brwWebBrowser_TitleChange(const QString &)
{
    m_host.loadedToolsPanel().showLocalAddress(Socket1->localAddress());
}
