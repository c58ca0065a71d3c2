#include "engine/webenginebrowser.h"

#include "engine/crashpage.h"
#include "engine/devtoolswindow.h"
#include "engine/downloads.h"
#include "engine/enginepage.h"
#include "engine/pagedialoggate.h"
#include "engine/pageinput.h"
#include "engine/pagemenu.h"
#include "engine/pageprint.h"
#include "engine/requestend.h"
#include "engine/useraddress.h"

#include <QVBoxLayout>
#include <QWebEngineFindTextResult>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

LoadTracker::Request requestType(QWebEnginePage::NavigationType type)
{
    switch (type) {
    case QWebEnginePage::NavigationTypeRedirect: return LoadTracker::Request::Redirect;
    case QWebEnginePage::NavigationTypeReload: return LoadTracker::Request::Reload;
    default: return LoadTracker::Request::Navigation;
    }
}

LoadTracker::LoadEnd loadEnd(QWebEngineLoadingInfo::LoadStatus status)
{
    switch (status) {
    case QWebEngineLoadingInfo::LoadSucceededStatus: return LoadTracker::LoadEnd::Succeeded;
    case QWebEngineLoadingInfo::LoadFailedStatus: return LoadTracker::LoadEnd::Failed;
    default: return LoadTracker::LoadEnd::Stopped;
    }
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget *parent, EngineDialogs *dialogs, QWebEngineProfile *profile)
    : WebBrowser(parent)
    , m_view(new QWebEngineView(this))
    , m_dialogGate(new PageDialogGate(this))
    , m_page(new EnginePage(profile, dialogs, m_dialogGate, m_view))
    , m_tracker(this)
{
    connect(m_dialogGate, &PageDialogGate::allClosed, this, &WebBrowser::DialogsClosed);
    m_view->setPage(m_page);
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    // Pop-ups only from a user's click, into a window the host makes for them.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // Only a click can ask for it, and Esc always ends it (the host's key, not the page's).
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
    m_downloads = new PageDownloads(m_page, dialogs, m_dialogGate);
    connect(m_downloads, &PageDownloads::statusText, this, &WebBrowser::StatusTextChange);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    pagemenu::install(m_view, this);
    m_input = new PageInput(m_view, [this] { return m_fullScreen || m_tracker.busy(); }, this);
    connect(m_input, &PageInput::zoomWheel, this, &WebBrowser::ZoomWheel);
    m_print = new PagePrint(m_view, this);
    connect(m_print, &PagePrint::finished, this, &WebBrowser::PrintFinished);
    connectTracker();
    connectPage();
    m_requestEnd = new RequestEnd(m_page, m_downloads, this);
    connect(m_requestEnd, &RequestEnd::statusText, this, &WebBrowser::StatusTextChange);
    connect(m_requestEnd, &RequestEnd::notNeeded, this, &WebBrowser::NewWindowNotNeeded);
}

WebEngineBrowser::~WebEngineBrowser()
{
    // The page goes with the view after this body has run; nothing it says on the
    // way out may reach a half-destroyed browser.
    m_page->disconnect(this);
    m_view->disconnect(this);
    m_tracker.disconnect(this);
    m_requestEnd->disconnect(this);
    m_input->disconnect(this);
    m_print->disconnect(this);
    delete m_devTools;
}

void WebEngineBrowser::connectTracker()
{
    connect(&m_tracker, &LoadTracker::statusTextChange, this, &WebBrowser::StatusTextChange);
    connect(&m_tracker, &LoadTracker::progressChange, this, &WebBrowser::ProgressChange);
    connect(&m_tracker, &LoadTracker::downloadBegin, this, &WebBrowser::DownloadBegin);
    connect(&m_tracker, &LoadTracker::downloadComplete, this, &WebBrowser::DownloadComplete);
    connect(&m_tracker, &LoadTracker::titleChange, this, &WebBrowser::TitleChange);
    connect(&m_tracker, &LoadTracker::beforeNavigate2, this, &WebBrowser::BeforeNavigate2);
    connect(&m_tracker, &LoadTracker::navigateComplete2, this, &WebBrowser::NavigateComplete2);
    connect(&m_tracker, &LoadTracker::stoppedPageWanted, this,
            [this] { m_page->setHtml(CrashPage::html()); });
}

void WebEngineBrowser::connectPage()
{
    connect(m_page, &EnginePage::mainFrameNavigation, this,
            [this](const QUrl &url, QWebEnginePage::NavigationType type) {
                m_tracker.navigationRequested(url, requestType(type));
            });
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            m_tracker.loadStarted(info.url());
        else
            m_tracker.loadFinished(loadEnd(info.status()), info.url());
    });
    connect(m_page, &QWebEnginePage::urlChanged, &m_tracker, &LoadTracker::urlChanged);
    connect(m_page, &QWebEnginePage::titleChanged, &m_tracker, &LoadTracker::titleChanged);
    connect(m_page, &QWebEnginePage::loadProgress, &m_tracker, &LoadTracker::loadProgress);
    connect(m_page, &QWebEnginePage::linkHovered, &m_tracker, &LoadTracker::linkHovered);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                m_tracker.renderProcessTerminated(status == QWebEnginePage::NormalTerminationStatus);
            });
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest &request) {
                // The host makes the window; the engine's own request goes into it, so
                // its rules (no top-level data: page), form data, referrer and opener
                // hold. The request is good only within this signal. A middle click or
                // Ctrl+click asks for a background tab: our window goes behind.
                const bool behind = request.destination() == QWebEngineNewWindowRequest::InNewBackgroundTab;
                auto *target = qobject_cast<WebEngineBrowser *>(
                    newWindowFor(request.requestedUrl().toString(), behind));
                if (!target)
                    return;
                target->m_requestEnd->awaitFrom(m_requestEnd);
                request.openIn(target->m_page);
            });
    connect(m_page, &QWebEnginePage::fullScreenRequested, this, [this](QWebEngineFullScreenRequest request) {
        // The host moves the control first, so the page takes the size it ends at.
        m_fullScreen = request.toggleOn();
        Q_EMIT FullScreenChange(m_fullScreen);
        request.accept();
    });
    connect(m_page, &QWebEnginePage::findTextFinished, this, [this](const QWebEngineFindTextResult &result) {
        Q_EMIT FindTextFinished(result.activeMatch(), result.numberOfMatches());
    });
}

void WebEngineBrowser::Navigate(const QString &address)
{
    const QUrl url = urlFromUserText(address);
    if (url.isEmpty())
        return;
    m_requestEnd->userLoads();
    m_dialogGate->userNavigated();
    if (m_page->isOtherProgramsAddress(url)) {
        // Asked once the caller is done, as the engine asks for a click: the first
        // window's address is given while the main window is still being made.
        QMetaObject::invokeMethod(
            m_page, [page = m_page, url] { page->offerToOtherProgram(url); }, Qt::QueuedConnection);
        return;
    }
    m_tracker.userLoads();
    m_page->load(url);
}

bool WebEngineBrowser::GoBack()
{
    return userMovesInHistory(false);
}

bool WebEngineBrowser::GoForward()
{
    return userMovesInHistory(true);
}

bool WebEngineBrowser::userMovesInHistory(bool forward)
{
    QWebEngineHistory *history = m_page->history();
    if (!(forward ? history->canGoForward() : history->canGoBack()))
        return false;
    m_dialogGate->userNavigated();
    m_tracker.userLoads();
    m_requestEnd->userLoads();
    m_page->triggerAction(forward ? QWebEnginePage::Forward : QWebEnginePage::Back);
    return true;
}

void WebEngineBrowser::Stop()
{
    if (m_tracker.userStops())
        m_page->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::Refresh()
{
    m_dialogGate->userNavigated();
    m_requestEnd->userLoads();
    switch (m_tracker.userRefreshes()) {
    case LoadTracker::Refresh::Nothing:
        break;
    case LoadTracker::Refresh::ReloadPage:
        m_page->triggerAction(QWebEnginePage::Reload);
        break;
    case LoadTracker::Refresh::LoadLocation:
        m_page->load(QUrl(m_tracker.location()));
        break;
    }
}

QString WebEngineBrowser::LocationName() const
{
    return m_tracker.locationName();
}

QString WebEngineBrowser::LocationURL() const
{
    return m_tracker.location();
}

bool WebEngineBrowser::Busy() const
{
    return m_tracker.busy();
}

bool WebEngineBrowser::PrintPage(QPrinter *printer)
{
    // Nothing has committed while the engine has reported no address; the engine
    // would print a blank sheet and call that a success.
    return !m_tracker.pageUrl().isEmpty() && m_print->start(printer);
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

bool WebEngineBrowser::CloseDialogs()
{
    return m_dialogGate->close();
}

void WebEngineBrowser::FindText(const QString &text, bool backward, bool caseSensitive)
{
    QWebEnginePage::FindFlags flags;
    if (backward)
        flags |= QWebEnginePage::FindBackward;
    if (caseSensitive)
        flags |= QWebEnginePage::FindCaseSensitively;
    m_page->findText(text, flags);
}

void WebEngineBrowser::SetZoomPercent(int percent)
{
    // The engine keeps to 25 % .. 500 % and ignores anything else.
    m_page->setZoomFactor(qBound(25, percent, 500) / 100.0);
}

void WebEngineBrowser::ExitFullScreen()
{
    if (m_fullScreen)
        m_page->triggerAction(QWebEnginePage::ExitFullScreen);
}

void WebEngineBrowser::ViewPageSource()
{
    // The engine asks for a new window for "view-source:" and the address.
    m_page->triggerAction(QWebEnginePage::ViewSource);
}

void WebEngineBrowser::ShowDevTools()
{
    if (!m_devTools)
        m_devTools = new DevToolsWindow(m_page, this);
    m_devTools->bringUp();
}

QUrl WebEngineBrowser::currentUrl() const
{
    return m_page->url();
}

QString WebEngineBrowser::currentTitle() const
{
    return m_page->title();
}

TrackedPage::HistoryMark WebEngineBrowser::historyMark() const
{
    const QWebEngineHistory *history = m_page->history();
    const QWebEngineHistoryItem item = history->currentItem();
    return {history->currentItemIndex(), history->count(), item.url(), item.lastVisited()};
}
