#include "browser/frmBrowser.h"

#include "browser/browserhost.h"
#include "browser/findstrip.h"
#include "browser/fullscreenpage.h"
#include "browser/historyfile.h"
#include "browser/statustext.h"
#include "browser/zoomlevels.h"
#include "engine/webbrowser.h"
#include "shared/named.h"
#include "system/pingsocket.h"
#include "system/platform.h"
#include "system/twips.h"
#include "system/visithistory.h"
#include "system/windowcaption.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int innerWidth = 6540;
constexpr int innerHeight = 5070;
constexpr int stripHeight = 675;
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
    , m_visits(platform.visits)
    , m_historyPath(platform.folder.keptFile(historyfile::fileName()))
    , m_history(m_historyPath)
    , m_linkPing(*Socket1, *Timer1, host)
    , m_loadClock(*Timer2, host)
    , m_addresses(cboAddress)
{
    setObjectName(QStringLiteral("frmBrowser"));
    QIcon icon(QStringLiteral(":/icons/document-32.png"));
    icon.addFile(QStringLiteral(":/icons/document-16.png"));
    setWindowIcon(icon);
    resize(sizeHint());
    placeControls();
    connectEvents();
    Form_Load(mdiArea);
}

// The controls at their design places; the address box's list sets the box up itself.
void frmBrowser::placeControls()
{
    twips::place(picAddress, 0, 0, innerWidth, stripHeight);
    picAddress->setFocusPolicy(Qt::NoFocus);

    // While the list is up it has the keys, Enter included.
    cboAddress->completer()->popup()->installEventFilter(this);
    twips::place(cboAddress, 120, 300, 3795, 315);

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
}

void frmBrowser::connectEvents()
{
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
    connect(Socket1, &PingSocket::lookupFailed, this, [this] { m_linkPing.showFailure(); });
}

QSize frmBrowser::sizeHint() const
{
    return {twips::toPixels(innerWidth), twips::toPixels(innerHeight)};
}

void frmBrowser::Form_Load(QMdiArea *mdiArea)
{
    m_subWindow = mdiArea->addSubWindow(this);
    m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_subWindow->show();

    Form_Resize();

    const QRect label = lblAddress->geometry();
    cboAddress->move(twips::toPixels(50), label.y() + label.height() + twips::toPixels(15));

    m_addresses.load(m_historyPath, ListedAddresses);
}

void frmBrowser::focusAddress()
{
    cboAddress->setFocus(Qt::ShortcutFocusReason);
    cboAddress->lineEdit()->selectAll();
}

void frmBrowser::forgetListedAddresses()
{
    m_addresses.forget();
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
    showAtZoom(percent);
}

void frmBrowser::showAtZoom(int percent)
{
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
    m_addresses.typingDone();
    if (SuppressNavigate)
        return;
    const QString address = cboAddress->currentText();
    if (AddressList::tooLong(address)) {
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
    if (watched == cboAddress->completer()->popup() && enter) {
        // Taken here whole: the list would hand it to the edit field as well and visit twice.
        m_addresses.takeSuggestion();
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
    showAtZoom(m_host.zoomLevels().levelFor(ZoomLevels::keyOf(brwWebBrowser->LocationURL())));

    const QString location = AddressList::withoutUserInfo(brwWebBrowser->LocationURL());
    // An address the box could not show whole, nor the file keep, is neither listed
    // nor kept; the box then shows none rather than the previous page's.
    const bool keep = !AddressList::tooLong(location);
    // What the user is typing stays in the box; the list still gains the address.
    const bool typing = m_addresses.isBeingTyped();
    SuppressNavigate = true;
    if (keep) {
        m_addresses.putOnTop(location);
        if (!typing)
            setListIndex(0);
    } else {
        if (!typing)
            m_addresses.showNone();
        m_host.writeStatusText(QStringLiteral("The address is too long to keep (%1 characters).").arg(location.size()));
    }
    SuppressNavigate = false;

    ProgressBar1->setValue(0);
    ProgressBar1->hide();

    if (!keep || location == QLatin1String("about:NavigationCanceled"))
        return;
    m_history.append(location);
    if (m_visits)
        m_visits->record(location, QDateTime::currentMSecsSinceEpoch());
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
    m_linkPing.start(url);
}

void frmBrowser::Timer1_Timer()
{
    m_linkPing.timeUp();
}

void frmBrowser::Socket1_Connect()
{
    m_linkPing.connected();
}

void frmBrowser::Socket1_Read(int dataLength, bool)
{
    m_linkPing.received(dataLength);
}

void frmBrowser::brwWebBrowser_DownloadBegin()
{
    m_loadClock.begin();
}

void frmBrowser::Timer2_Timer()
{
    m_loadClock.alarm();
}

void frmBrowser::brwWebBrowser_DownloadComplete()
{
    m_loadClock.end();
    setWindowTitle(windowcaption::literal(brwWebBrowser->LocationName()));
    // The end of a load is when a busy check running since a command can end.
    if (timTimer->isActive())
        timTimer_Timer();
}

void frmBrowser::brwWebBrowser_TitleChange(const QString &text)
{
    m_linkPing.showLocalAddress();
    // The title comes after the visit: it joins it, or the page's last one.
    if (m_visits)
        m_visits->setTitle(AddressList::withoutUserInfo(brwWebBrowser->LocationURL()), text);
}
