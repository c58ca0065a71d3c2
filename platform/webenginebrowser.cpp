#include "platform/webenginebrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineView>

// What Qt WebEngine 6.4 does, as seen against a loopback server, and what the
// adapter makes of it:
// - acceptNavigationRequest comes before loadStarted for typed, link, form,
//   back/forward and reload requests, and again (as Redirect) for each redirect.
//   Same-document moves (fragments, pushState) never reach it; neither do loads of
//   about: pages or of unknown schemes, so their BeforeNavigate2 is raised when
//   their load starts.
// - loadingChanged(Started) comes once per load; a navigation that replaces a
//   pending one joins the running load. It always ends with one Stopped, Succeeded
//   or Failed, except when load() is followed by Stop before the engine got to it:
//   then nothing at all is reported.
// - urlChanged does not fire at the start of a navigation, only when the response
//   commits (for an error page too, with the failed address). It does not fire when
//   the new address equals the old one; that commit shows only as a new timestamp
//   on the history entry, which is checked on every later engine signal and at the
//   end of the load.
// - A user's Stop before the response ends the load as Stopped with nothing
//   committed; an unknown scheme or a response turned into a download ends the
//   same way without our Stop, and then leaves the location alone.

namespace {

// The watchdog clears Busy for a request the engine never turned into a load
// (a same-document move it handled silently, or a request it dropped).
constexpr int StartWatchdogMs = 2000;

bool differsOnlyInFragment(const QUrl &a, const QUrl &b)
{
    return a != b && a.adjusted(QUrl::RemoveFragment) == b.adjusted(QUrl::RemoveFragment);
}

} // namespace

// The page: accepts every navigation and tells the browser about main-frame ones.
class HalvaneWebEnginePage : public QWebEnginePage
{
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

Q_SIGNALS:
    void mainFrameNavigation(const QUrl &url, QWebEnginePage::NavigationType type);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (isMainFrame)
            Q_EMIT mainFrameNavigation(url, type);
        return true;
    }
};

WebEngineBrowser::WebEngineBrowser(QWidget *parent)
    : WebBrowser(parent)
    , m_view(new QWebEngineView(this))
    , m_page(new HalvaneWebEnginePage(m_view))
{
    m_view->setPage(m_page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    m_startWatchdog.setSingleShot(true);
    m_startWatchdog.setInterval(StartWatchdogMs);
    connect(&m_startWatchdog, &QTimer::timeout, this, [this] { m_startPending = false; });

    connect(m_page, &HalvaneWebEnginePage::mainFrameNavigation, this,
            &WebEngineBrowser::onNavigationRequested);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page, &QWebEnginePage::urlChanged, this, &WebEngineBrowser::onUrlChanged);
    connect(m_page, &QWebEnginePage::titleChanged, this, &WebEngineBrowser::onTitleChanged);
    connect(m_page, &QWebEnginePage::loadProgress, this, &WebEngineBrowser::onLoadProgress);
    // The engine also reports "no link" when a load starts; passed on, that would
    // wipe the loading text, so only a change of the hovered link goes out.
    connect(m_page, &QWebEnginePage::linkHovered, this, [this](const QString &url) {
        if (url == m_hoveredLink)
            return;
        m_hoveredLink = url;
        Q_EMIT StatusTextChange(url);
    });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            &WebEngineBrowser::onRenderProcessTerminated);
    connect(m_view, &QWebEngineView::printFinished, this, [this](bool success) {
        m_printing = false;
        Q_EMIT PrintFinished(success);
    });
}

WebEngineBrowser::~WebEngineBrowser()
{
    // The page goes with the view after this body has run; nothing it says on the
    // way out may reach a half-destroyed browser.
    m_page->disconnect(this);
    m_view->disconnect(this);
}

QUrl WebEngineBrowser::urlFromUserText(const QString &text)
{
    const QString input = text.trimmed();
    if (input.isEmpty())
        return {};

    const QString folder = QDir::currentPath();
    QUrl url;
    if (QDir::isAbsolutePath(input) || input.startsWith(QLatin1String("./"))
        || input.startsWith(QLatin1String("../")) || QFileInfo::exists(QDir(folder).filePath(input))) {
        url = QUrl::fromUserInput(input, folder, QUrl::AssumeLocalFile);
    } else if (input.contains(QLatin1String("://"))) {
        // A scheme was typed: take the text as written. fromUserInput would put
        // another "http://" in front of a malformed one.
        url = QUrl(input, QUrl::StrictMode);
    } else {
        // Without AssumeLocalFile, so that "127.0.0.1:8080/x" is a web address and
        // not a file of that name in the current folder.
        url = QUrl::fromUserInput(input, folder);
    }

    if (!url.isValid() || url.isEmpty() || url.scheme().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("javascript"))
        return {};
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")
         || scheme == QLatin1String("ftp"))
        && url.host().isEmpty())
        return {};
    return url;
}

void WebEngineBrowser::Navigate(const QString &address)
{
    const QUrl url = urlFromUserText(address);
    if (url.isEmpty())
        return;
    expectLoad();
    m_page->load(url);
}

bool WebEngineBrowser::GoBack()
{
    if (!m_page->history()->canGoBack())
        return false;
    expectLoad();
    m_page->triggerAction(QWebEnginePage::Back);
    return true;
}

bool WebEngineBrowser::GoForward()
{
    if (!m_page->history()->canGoForward())
        return false;
    expectLoad();
    m_page->triggerAction(QWebEnginePage::Forward);
    return true;
}

void WebEngineBrowser::Stop()
{
    if (!m_loading && !m_startPending)
        return;
    // A request the engine has not started yet is dropped unreported.
    m_startPending = false;
    m_startWatchdog.stop();
    m_userStopped = m_loading;
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::Refresh()
{
    if (m_page->url().isEmpty())
        return;
    expectLoad();
    m_page->triggerAction(QWebEnginePage::Reload);
}

QString WebEngineBrowser::LocationName() const
{
    return m_canceled ? canceledName() : m_page->title();
}

QString WebEngineBrowser::LocationURL() const
{
    return m_location;
}

bool WebEngineBrowser::Busy() const
{
    return m_startPending || m_loading;
}

bool WebEngineBrowser::PrintPage(QPrinter *printer)
{
    // Nothing has committed while the engine has reported no address; the engine
    // would print a blank sheet and call that a success.
    if (!printer || m_printing || m_pageUrl.isEmpty())
        return false;
    m_printing = true;
    // The engine makes a PDF of the page, then a thread of the view draws its pages
    // on the printer as pictures and reports the end.
    m_view->print(printer);
    return true;
}

void WebEngineBrowser::EditCut()
{
    m_page->triggerAction(QWebEnginePage::Cut);
}

void WebEngineBrowser::EditCopy()
{
    m_page->triggerAction(QWebEnginePage::Copy);
}

void WebEngineBrowser::EditPaste()
{
    m_page->triggerAction(QWebEnginePage::Paste);
}

void WebEngineBrowser::expectLoad()
{
    m_startPending = true;
    m_startWatchdog.start();
}

void WebEngineBrowser::beginNavigation(const QUrl &url, Kind kind)
{
    m_navigationSeen = true;
    m_kind = kind;
    m_pendingUrl = url;
    m_committed = false;
    m_markAtStart = historyMark();
}

void WebEngineBrowser::onNavigationRequested(const QUrl &url, QWebEnginePage::NavigationType type)
{
    if (m_loading && m_startPending) {
        // Our request joins the running load; its end is ours.
        m_startPending = false;
        m_startWatchdog.stop();
    }
    switch (type) {
    case QWebEnginePage::NavigationTypeRedirect:
        // Still the request that raised BeforeNavigate2, heading elsewhere.
        m_pendingUrl = url;
        return;
    case QWebEnginePage::NavigationTypeReload:
        beginNavigation(url, Kind::Reload);
        return;
    default:
        break;
    }
    if (differsOnlyInFragment(url, m_page->url()))
        return; // a move within the page shown, should the engine ever ask
    beginNavigation(url, Kind::Navigation);
    Q_EMIT BeforeNavigate2(url.toString());
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        m_startPending = false;
        m_startWatchdog.stop();
        if (m_loading)
            return; // the engine never doubles this, but a second begin must not go out
        m_loading = true;
        m_userStopped = false;
        // The engine's "no link" that follows the start must not wipe the text below.
        m_hoveredLink.clear();
        if (!m_navigationSeen) {
            beginNavigation(info.url(), Kind::Navigation);
            Q_EMIT BeforeNavigate2(info.url().toString());
        }
        Q_EMIT DownloadBegin();
        Q_EMIT StatusTextChange(QStringLiteral("Opening %1...").arg(info.url().toString()));
        return;
    }
    finishLoad(info.status(), info.url());
}

void WebEngineBrowser::finishLoad(int status, const QUrl &url)
{
    if (!m_loading)
        return;
    if (!m_committed)
        checkCommitFromHistory();
    if (!m_committed) {
        switch (status) {
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            commit(m_page->url());
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            // The engine's error page stands at the address that failed.
            commit(url.isEmpty() ? m_pendingUrl : url);
            break;
        default:
            // Stopped: by the user before the response came, the location becomes
            // the canceled page while the old page may stay on screen. Stopped by
            // the engine itself (unknown scheme, download), nothing moved.
            if (m_userStopped && m_kind == Kind::Navigation) {
                m_canceled = true;
                m_location = canceledUrl();
                Q_EMIT NavigateComplete2(m_location);
                Q_EMIT TitleChange(canceledName());
            }
            break;
        }
    }
    Q_EMIT StatusTextChange(QStringLiteral("Done"));
    Q_EMIT ProgressChange(-1, 100);
    // Reset before the last event, so a receiver may start the next load from it.
    m_loading = false;
    m_navigationSeen = false;
    m_committed = false;
    m_userStopped = false;
    m_pendingUrl.clear();
    Q_EMIT DownloadComplete();
}

void WebEngineBrowser::onUrlChanged(const QUrl &url)
{
    const QUrl previous = m_pageUrl;
    m_pageUrl = url;
    if (url.isEmpty())
        return;
    const bool pendingTarget = url == m_pendingUrl;
    if (m_loading && !m_committed && (pendingTarget || !differsOnlyInFragment(url, previous)))
        commit(url);
    else
        moveWithinDocument(url);
}

void WebEngineBrowser::commit(const QUrl &url)
{
    m_committed = true;
    const bool wasCanceled = m_canceled;
    m_canceled = false;
    const QString text = url.toString();
    // A reload that stays where it was is no new location.
    if (m_kind == Kind::Reload && text == m_location && !wasCanceled)
        return;
    m_location = text;
    Q_EMIT NavigateComplete2(m_location);
    if (wasCanceled)
        Q_EMIT TitleChange(m_page->title());
}

void WebEngineBrowser::moveWithinDocument(const QUrl &url)
{
    // A fragment or history.pushState move: no request, no load, a new location.
    if (!m_loading && m_startPending) {
        m_startPending = false;
        m_startWatchdog.stop();
    }
    const QString text = url.toString();
    if (text == m_location && !m_canceled)
        return;
    const bool wasCanceled = m_canceled;
    m_canceled = false;
    m_location = text;
    Q_EMIT NavigateComplete2(m_location);
    if (wasCanceled)
        Q_EMIT TitleChange(m_page->title());
}

bool WebEngineBrowser::checkCommitFromHistory()
{
    if (!m_loading || m_committed || !m_navigationSeen || historyMark() == m_markAtStart)
        return false;
    commit(m_page->url());
    return true;
}

void WebEngineBrowser::onTitleChanged(const QString &title)
{
    checkCommitFromHistory();
    // While the location is the canceled page, the page still on screen has no say.
    if (!m_canceled)
        Q_EMIT TitleChange(title);
}

void WebEngineBrowser::onLoadProgress(int progress)
{
    if (!m_loading)
        return;
    checkCommitFromHistory();
    Q_EMIT ProgressChange(progress, 100);
}

void WebEngineBrowser::onRenderProcessTerminated()
{
    // No end will be reported for a load whose renderer died; close it here,
    // leaving the location where it was.
    m_userStopped = false;
    finishLoad(QWebEngineLoadingInfo::LoadStoppedStatus, QUrl());
}

WebEngineBrowser::HistoryMark WebEngineBrowser::historyMark() const
{
    const QWebEngineHistory *history = m_page->history();
    const QWebEngineHistoryItem item = history->currentItem();
    return {history->currentItemIndex(), history->count(), item.url(), item.lastVisited()};
}

#include "webenginebrowser.moc"
