#include "platform/webenginebrowser.h"

#include "platform/downloadname.h"
#include "platform/enginedialogs.h"
#include "platform/locationtext.h"
#include "platform/pagedialoggate.h"

#include <QAuthenticator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QPointer>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <memory>

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
// - A scheme the engine does not load itself: with the policy "from user
//   interaction" a script's navigation to it just stops; after a click, once its
//   load has started, the engine asks acceptNavigationRequest (the only time it asks
//   after the start) and on true hands the address to QDesktopServices::openUrl,
//   that is to xdg-open. So that call is the question to the user.
// - A page's new window (QWebEngineNewWindowRequest) must be opened in the host's
//   page within the signal. In the new page, acceptNavigationRequest comes first,
//   then, for a script's or a form's request, urlChanged with the address before the
//   load starts, then the load as usual.
// - A renderer that dies takes any load with it unreported; a page then loaded in
//   the view starts a new renderer.

namespace {

// The watchdog clears Busy for a request the engine never turned into a load
// (a same-document move it handled silently, or a request it dropped).
constexpr int StartWatchdogMs = 2000;

bool differsOnlyInFragment(const QUrl &a, const QUrl &b)
{
    return a != b && a.adjusted(QUrl::RemoveFragment) == b.adjusted(QUrl::RemoveFragment);
}


QString featureName(QWebEnginePage::Feature feature)
{
    switch (feature) {
    case QWebEnginePage::Notifications: return QStringLiteral("notifications");
    case QWebEnginePage::Geolocation: return QStringLiteral("your location");
    case QWebEnginePage::MediaAudioCapture: return QStringLiteral("your microphone");
    case QWebEnginePage::MediaVideoCapture: return QStringLiteral("your camera");
    case QWebEnginePage::MediaAudioVideoCapture:
        return QStringLiteral("your camera and microphone");
    case QWebEnginePage::MouseLock: return QStringLiteral("control of the mouse pointer");
    case QWebEnginePage::DesktopVideoCapture: return QStringLiteral("a recording of your screen");
    case QWebEnginePage::DesktopAudioVideoCapture:
        return QStringLiteral("a recording of your screen and its sound");
    }
    return QStringLiteral("a feature of the browser");
}

// The user's answers to permission requests, per origin and feature, for the
// program's run: a site asks once, whichever window it is in.
QHash<QString, bool> &permissionAnswers()
{
    static QHash<QString, bool> answers;
    return answers;
}

QString siteName(const QUrl &url)
{
    return url.host().isEmpty() ? url.toString() : url.host();
}

QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// Whether the engine loads addresses of url's scheme itself; any other goes to
// another program.
bool loadedByEngine(const QUrl &url, const QWebEngineProfile *profile)
{
    static const QStringList own = {
        QStringLiteral("http"),  QStringLiteral("https"),        QStringLiteral("file"),
        QStringLiteral("data"),  QStringLiteral("blob"),         QStringLiteral("filesystem"),
        QStringLiteral("about"), QStringLiteral("qrc"),          QStringLiteral("chrome"),
        QStringLiteral("chrome-error"), QStringLiteral("devtools"), QStringLiteral("view-source")};
    const QString scheme = url.scheme().toLower();
    return own.contains(scheme) || profile->urlSchemeHandler(scheme.toLatin1())
           || !QWebEngineUrlScheme::schemeByName(scheme.toLatin1()).name().isEmpty();
}

} // namespace

// The page: accepts every navigation the engine loads itself and tells the browser
// about main-frame ones; lets another program open any other address only on the
// user's yes; answers the page's script dialogs, permission requests, certificate
// errors and sign-in requests through the host's dialogs, or refuses them without any.
// Each question goes through the page's gate, which the user can close on a page that
// keeps asking.
class HalvaneWebEnginePage : public QWebEnginePage
{
    Q_OBJECT
public:
    HalvaneWebEnginePage(EngineDialogs *dialogs, PageDialogGate *gate, QWidget *parent)
        : QWebEnginePage(parent)
        , m_dialogs(dialogs)
        , m_gate(gate)
    {
        connect(this, &QWebEnginePage::featurePermissionRequested, this,
                &HalvaneWebEnginePage::onPermissionRequested);
        connect(this, &QWebEnginePage::certificateError, this,
                &HalvaneWebEnginePage::onCertificateError);
        connect(this, &QWebEnginePage::authenticationRequired, this,
                [this](const QUrl &url, QAuthenticator *auth) { signIn(siteName(url), auth); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
                [this](const QUrl &, QAuthenticator *auth, const QString &proxyHost) {
                    signIn(proxyHost, auth);
                });
    }

Q_SIGNALS:
    void mainFrameNavigation(const QUrl &url, QWebEnginePage::NavigationType type);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        // The engine's last question before another program opens the address: the
        // user's, default no. It is no navigation of this page.
        if (!loadedByEngine(url, profile()))
            return ask([&](PageDialog &dialog) {
                return m_dialogs->openExternally(dialog, url.toString(QUrl::FullyEncoded));
            });
        if (isMainFrame) {
            if (type != NavigationTypeRedirect)
                m_gate->pageNavigated();
            Q_EMIT mainFrameNavigation(url, type);
        }
        return true;
    }

    void javaScriptAlert(const QUrl &origin, const QString &msg) override
    {
        ask([&](PageDialog &dialog) {
            m_dialogs->alert(dialog, siteName(origin), msg);
            return true;
        });
    }

    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override
    {
        return ask([&](PageDialog &dialog) { return m_dialogs->confirm(dialog, siteName(origin), msg); });
    }

    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                          QString *result) override
    {
        return ask([&](PageDialog &dialog) {
            return m_dialogs->prompt(dialog, siteName(origin), msg, defaultValue, result);
        });
    }

private:
    // The answer to a question, or no (cancel) without dialogs or once the user stopped
    // this page's dialogs.
    template<typename Question>
    bool ask(Question &&question)
    {
        bool answer = false;
        if (m_dialogs)
            m_gate->ask([&](PageDialog &dialog) { answer = question(dialog); });
        return answer;
    }

    void onPermissionRequested(const QUrl &origin, Feature feature)
    {
        const QString key = origin.toString() + QLatin1Char('|') + QString::number(feature);
        auto &answers = permissionAnswers();
        auto it = answers.constFind(key);
        bool granted = false;
        if (it != answers.constEnd()) {
            granted = *it;
        } else {
            // Only the user's own answer is kept: not one given for a page whose
            // dialogs were stopped, nor a question its closing window cancelled.
            bool answered = false;
            granted = ask([&](PageDialog &dialog) {
                const bool yes = m_dialogs->grantPermission(dialog, siteName(origin), featureName(feature));
                answered = !dialog.isCancelled();
                return yes;
            });
            if (answered)
                answers.insert(key, granted);
        }
        setFeaturePermission(origin, feature,
                             granted ? PermissionGrantedByUser : PermissionDeniedByUser);
    }

    void onCertificateError(const QWebEngineCertificateError &error)
    {
        QWebEngineCertificateError answer = error;
        answer.defer();
        // Only an overridable error may be let through, and only by the user.
        if (answer.isOverridable() && ask([&](PageDialog &dialog) {
                return m_dialogs->acceptCertificateError(dialog, answer.url().host(),
                                                         answer.description());
            }))
            answer.acceptCertificate();
        else
            answer.rejectCertificate();
    }

    void signIn(const QString &site, QAuthenticator *auth)
    {
        QString user = auth->user();
        QString password;
        if (ask([&](PageDialog &dialog) {
                return m_dialogs->credentials(dialog, site, auth->realm(), &user, &password);
            })) {
            auth->setUser(user);
            auth->setPassword(password);
        } else {
            // A null authenticator cancels; the engine shows the site's refusal.
            *auth = QAuthenticator();
        }
    }

    EngineDialogs *m_dialogs;
    PageDialogGate *m_gate;
};

// One per profile, so that each download is seen once and goes to the browser whose
// page started it; several windows share a profile.
class DownloadDispatcher : public QObject
{
    Q_OBJECT
public:
    static void add(QWebEngineProfile *profile, WebEngineBrowser *browser)
    {
        auto *dispatcher =
            profile->findChild<DownloadDispatcher *>(QString(), Qt::FindDirectChildrenOnly);
        if (!dispatcher)
            dispatcher = new DownloadDispatcher(profile);
        dispatcher->m_browsers.append(browser);
    }

    static void remove(QWebEngineProfile *profile, WebEngineBrowser *browser)
    {
        if (auto *dispatcher =
                profile->findChild<DownloadDispatcher *>(QString(), Qt::FindDirectChildrenOnly))
            dispatcher->m_browsers.removeAll(browser);
    }

private:
    explicit DownloadDispatcher(QWebEngineProfile *profile)
        : QObject(profile)
    {
        connect(profile, &QWebEngineProfile::downloadRequested, this,
                &DownloadDispatcher::dispatch);
    }

    void dispatch(QWebEngineDownloadRequest *download)
    {
        for (WebEngineBrowser *browser : std::as_const(m_browsers)) {
            if (browser->m_page == download->page()) {
                browser->handleDownload(download);
                return;
            }
        }
        // Not accepted here, the engine cancels it.
    }

    QList<WebEngineBrowser *> m_browsers;
};

WebEngineBrowser::WebEngineBrowser(QWidget *parent, EngineDialogs *dialogs)
    : WebBrowser(parent)
    , m_dialogs(dialogs)
    , m_view(new QWebEngineView(this))
    , m_dialogGate(new PageDialogGate(this))
    , m_page(new HalvaneWebEnginePage(dialogs, m_dialogGate, m_view))
{
    connect(m_dialogGate, &PageDialogGate::allClosed, this, &WebBrowser::DialogsClosed);
    m_view->setPage(m_page);
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    // Pop-ups only from a user's click, into a window the host makes for them.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
    DownloadDispatcher::add(m_page->profile(), this);

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
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest &request) {
                // The host makes the window; the engine's own request goes into it, so
                // its rules (no top-level data: page), form data, referrer and opener
                // hold. The request is good only within this signal.
                auto *target =
                    qobject_cast<WebEngineBrowser *>(newWindowFor(request.requestedUrl().toString()));
                if (target)
                    request.openIn(target->m_page);
            });
    connect(m_view, &QWebEngineView::printFinished, this, [this](bool success) {
        m_printing = false;
        Q_EMIT PrintFinished(success);
    });
}

WebEngineBrowser::~WebEngineBrowser()
{
    // The page goes with the view after this body has run; nothing it says on the
    // way out may reach a half-destroyed browser.
    DownloadDispatcher::remove(m_page->profile(), this);
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
        // another "http://" in front of a malformed one. Tolerant, so that a space
        // (typed, or in an entry an older version listed decoded) stands for %20;
        // what locationText makes reads back the same either way.
        url = QUrl(input, QUrl::TolerantMode);
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
    m_dialogGate->userNavigated();
    expectLoad();
    m_page->load(url);
}

bool WebEngineBrowser::GoBack()
{
    if (!m_page->history()->canGoBack())
        return false;
    m_dialogGate->userNavigated();
    expectLoad();
    m_page->triggerAction(QWebEnginePage::Back);
    return true;
}

bool WebEngineBrowser::GoForward()
{
    if (!m_page->history()->canGoForward())
        return false;
    m_dialogGate->userNavigated();
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
    m_dialogGate->userNavigated();
    if (m_crashed) {
        // The stopped page is ours; what the user wants again is the one before it.
        const QUrl url(m_location);
        if (url.isEmpty())
            return;
        expectLoad();
        m_reloadAfterCrash = true;
        m_page->load(url);
        return;
    }
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

bool WebEngineBrowser::CloseDialogs()
{
    return m_dialogGate->close();
}

void WebEngineBrowser::expectLoad()
{
    // A load of the user's replaces our stopped page: its end is no longer ours to hide.
    m_crashPageLoading = false;
    m_crashPageShown = false;
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
    if (m_crashPageLoading)
        return;
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
    if (m_reloadAfterCrash) {
        m_reloadAfterCrash = false;
        beginNavigation(url, Kind::Reload);
        return;
    }
    if (differsOnlyInFragment(url, m_page->url()))
        return; // a move within the page shown, should the engine ever ask
    beginNavigation(url, Kind::Navigation);
    Q_EMIT BeforeNavigate2(url.toString());
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (m_crashPageLoading) {
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
            m_crashPageLoading = false;
        return;
    }
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
    // Our stopped page keeps the location of the page that stopped.
    if (m_crashPageLoading || (m_crashed && !m_loading))
        return;
    const QUrl previous = m_pageUrl;
    m_pageUrl = url;
    if (url.isEmpty())
        return;
    // A new window shows the address it was opened for before its load starts; the
    // load commits it.
    if (!m_loading && m_navigationSeen && url == m_pendingUrl)
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
    m_crashed = false;
    const bool wasCanceled = m_canceled;
    m_canceled = false;
    const QString text = locationText(url);
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
    const QString text = locationText(url);
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
    if (m_crashPageLoading || (m_crashed && !m_loading))
        return;
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

void WebEngineBrowser::onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status)
{
    // No end will be reported for a load whose renderer died; close it here,
    // leaving the location where it was.
    m_userStopped = false;
    finishLoad(QWebEngineLoadingInfo::LoadStoppedStatus, QUrl());
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    m_crashed = true;
    // One stopped page for each death of the user's page. When ours dies too, the
    // view stays as it is: every new page would start a renderer that may die the
    // same way, for ever. Refresh still loads the user's page.
    if (m_crashPageShown) {
        m_crashPageLoading = false;
        return;
    }
    m_crashPageShown = true;
    // Not from inside the engine's report of the death.
    QTimer::singleShot(0, this, [this] {
        if (!m_crashed || !m_crashPageShown)
            return;
        m_crashPageLoading = true;
        m_page->setHtml(QStringLiteral(
            "<html><head><title>Page stopped</title></head><body>"
            "<h1>This page stopped</h1>"
            "<p>The part of the browser showing it ended unexpectedly. "
            "Refresh loads the page again.</p></body></html>"));
    });
}

void WebEngineBrowser::handleDownload(QWebEngineDownloadRequest *download)
{
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation))
            .filePath(cleanDownloadName(download->suggestedFileName()));
    QString path;
    if (m_dialogs)
        m_dialogGate->ask([&](PageDialog &dialog) { path = m_dialogs->saveFileName(dialog, suggested); });
    if (path.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    const QString name = target.fileName();
    const QString folder = QDir::toNativeSeparators(target.absolutePath());

    auto lastText = std::make_shared<QString>();
    auto progress = [this, download, name, lastText] {
        const qint64 total = download->totalBytes();
        const qint64 received = download->receivedBytes();
        // One arg() for all: a name holding "%1" stays as it is.
        const QString text =
            total > 0 ? QStringLiteral("Downloading %1: %2% of %3")
                            .arg(name, QString::number(received * 100 / total), dataSize(total))
                      : QStringLiteral("Downloading %1: %2").arg(name, dataSize(received));
        if (text == *lastText)
            return;
        *lastText = text;
        Q_EMIT StatusTextChange(text);
    };
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, progress);
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
            [this, download, name, folder] {
                if (!download->isFinished())
                    return;
                switch (download->state()) {
                case QWebEngineDownloadRequest::DownloadCompleted:
                    Q_EMIT StatusTextChange(QStringLiteral("Saved %1 to %2").arg(name, folder));
                    break;
                case QWebEngineDownloadRequest::DownloadCancelled:
                    Q_EMIT StatusTextChange(QStringLiteral("Download of %1 cancelled").arg(name));
                    break;
                default:
                    Q_EMIT StatusTextChange(QStringLiteral("Download of %1 failed: %2")
                                                .arg(name, download->interruptReasonString()));
                    break;
                }
            });
    download->accept();
}

WebEngineBrowser::HistoryMark WebEngineBrowser::historyMark() const
{
    const QWebEngineHistory *history = m_page->history();
    const QWebEngineHistoryItem item = history->currentItem();
    return {history->currentItemIndex(), history->count(), item.url(), item.lastVisited()};
}

#include "webenginebrowser.moc"
