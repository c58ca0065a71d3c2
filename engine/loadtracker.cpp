#include "engine/loadtracker.h"

#include "system/hostdisplay.h"
#include "system/locationtext.h"

#include <utility>

// What Qt WebEngine 6.4 reports, as seen against a loopback server (the rows of
// tst_loadtracker play these sequences), and what the tracker makes of it:
// - A main-frame request is asked for before loadingChanged(Started) for typed, link,
//   form, back/forward and reload requests, and again (as Redirect) for each redirect.
//   Same-document moves (fragments, pushState) never are; neither are loads of about:
//   pages or of unknown schemes, so their BeforeNavigate2 is raised when their load
//   starts.
// - Started comes once per load; a navigation that replaces a pending one joins the
//   running load. It always ends with one Stopped, Succeeded or Failed, except when
//   load() is followed by Stop before the engine got to it: then nothing at all is
//   reported.
// - urlChanged does not fire at the start of a navigation, only when the response
//   commits (for an error page too, with the failed address). It does not fire when
//   the new address equals the old one; that commit shows only as a new visit time on
//   the history entry, which is checked on every later engine signal and at the end
//   of the load.
// - A user's Stop before the response ends the load as Stopped with nothing
//   committed; an unknown scheme or a response turned into a download ends the same
//   way without our Stop, and then leaves the location alone.
// - In a new window's page, for a script's or a form's request, urlChanged reports
//   the address before the load starts, then the load goes as usual.
// - A renderer that dies takes any load with it unreported; a page then loaded in the
//   view starts a new renderer.

namespace {

bool differsOnlyInFragment(const QUrl &a, const QUrl &b)
{
    return a != b && a.adjusted(QUrl::RemoveFragment) == b.adjusted(QUrl::RemoveFragment);
}

} // namespace

LoadTracker::LoadTracker(const TrackedPage *page, int watchdogMs, QObject *parent)
    : QObject(parent)
    , m_page(page)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(watchdogMs);
}

bool LoadTracker::loading() const
{
    return m_state == State::Started || m_state == State::Stopping || m_state == State::Committed;
}

QString LoadTracker::shownTitle(const QString &title) const
{
    // Without a title of its own the page's is its address: its host then shows as in
    // the address box.
    return hostdisplay::titleText(title, m_page->currentUrl());
}

QString LoadTracker::locationName() const
{
    return m_canceled ? canceledName() : shownTitle(m_page->currentTitle());
}

void LoadTracker::userLoads()
{
    // A load of the user's replaces our stopped page: its end is no longer ours to hide.
    m_crashPage.userLoads();
    m_watchdog.start();
}

bool LoadTracker::userStops()
{
    if (!loading() && !m_watchdog.isActive())
        return false;
    // A request the engine has not started yet is dropped unreported.
    m_watchdog.stop();
    if (m_state == State::Started)
        m_state = State::Stopping;
    return true;
}

LoadTracker::Refresh LoadTracker::userRefreshes()
{
    if (m_crashPage.standsIn()) {
        // The page in the view is ours; what the user wants again is the one before it.
        if (QUrl(m_location).isEmpty())
            return Refresh::Nothing;
        userLoads();
        m_nextKind = Kind::Reload;
        return Refresh::LoadLocation;
    }
    if (m_page->currentUrl().isEmpty())
        return Refresh::Nothing;
    userLoads();
    return Refresh::ReloadPage;
}

void LoadTracker::beginNavigation(const QUrl &url, Kind kind)
{
    m_kind = kind;
    m_pendingUrl = url;
    m_markAtStart = m_page->historyMark();
    if (m_state == State::Idle)
        m_state = State::Announced;
    else if (m_state == State::Committed)
        m_state = State::Started;
}

void LoadTracker::navigationRequested(const QUrl &url, Request type)
{
    if (m_crashPage.loading())
        return;
    // A call of ours during a load joins it; its end is ours.
    if (loading())
        m_watchdog.stop();
    switch (type) {
    case Request::Redirect:
        // Still the request that raised BeforeNavigate2, heading elsewhere.
        m_pendingUrl = url;
        return;
    case Request::Reload:
        beginNavigation(url, Kind::Reload);
        return;
    case Request::Navigation:
        break;
    }
    if (std::exchange(m_nextKind, Kind::Navigation) == Kind::Reload) {
        beginNavigation(url, Kind::Reload);
        return;
    }
    if (differsOnlyInFragment(url, m_page->currentUrl()))
        return; // a move within the page shown, should the engine ever ask
    beginNavigation(url, Kind::Navigation);
    Q_EMIT beforeNavigate2(hostdisplay::addressText(url));
}

void LoadTracker::loadStarted(const QUrl &url)
{
    if (m_crashPage.loading())
        return;
    m_watchdog.stop();
    if (loading())
        return; // the engine never doubles this, but a second begin must not go out
    const bool announced = m_state == State::Announced;
    m_state = State::Started;
    // The engine's "no link" that follows the start must not wipe the text below.
    m_hoveredLink.clear();
    if (!announced) {
        beginNavigation(url, Kind::Navigation);
        Q_EMIT beforeNavigate2(hostdisplay::addressText(url));
    }
    Q_EMIT downloadBegin();
    Q_EMIT statusTextChange(QStringLiteral("Opening %1...").arg(hostdisplay::addressText(url)));
}

void LoadTracker::loadFinished(LoadEnd end, const QUrl &url)
{
    if (m_crashPage.loading()) {
        m_crashPage.shown();
        return;
    }
    finishLoad(end, url);
}

void LoadTracker::finishLoad(LoadEnd end, const QUrl &url)
{
    if (!loading())
        return;
    if (uncommitted())
        checkCommitFromHistory();
    if (uncommitted()) {
        switch (end) {
        case LoadEnd::Succeeded:
            commit(m_page->currentUrl());
            break;
        case LoadEnd::Failed:
            // The engine's error page stands at the address that failed.
            commit(url.isEmpty() ? m_pendingUrl : url);
            break;
        case LoadEnd::Stopped:
            // By the user before the response came, the location becomes the canceled
            // page while the old page may stay on screen. Stopped by the engine itself
            // (unknown scheme, download), nothing moved.
            if (m_state == State::Stopping && m_kind == Kind::Navigation)
                cancel();
            break;
        }
    }
    Q_EMIT statusTextChange(QStringLiteral("Done"));
    Q_EMIT progressChange(-1, 100);
    // Idle before the last event, so a receiver may start the next load from it.
    m_state = State::Idle;
    m_pendingUrl.clear();
    Q_EMIT downloadComplete();
}

void LoadTracker::cancel()
{
    m_canceled = true;
    m_location = canceledUrl();
    Q_EMIT navigateComplete2(m_location);
    Q_EMIT titleChange(canceledName());
}

void LoadTracker::urlChanged(const QUrl &url)
{
    if (fromStoppedPage())
        return;
    const QUrl previous = std::exchange(m_pageUrl, url);
    if (url.isEmpty())
        return;
    // A new window shows the address it was opened for before its load starts; the
    // load commits it.
    if (m_state == State::Announced && url == m_pendingUrl)
        return;
    if (uncommitted() && (url == m_pendingUrl || !differsOnlyInFragment(url, previous)))
        commit(url);
    else
        moveWithinDocument(url);
}

void LoadTracker::commit(const QUrl &url)
{
    m_state = State::Committed;
    m_crashPage.pageCommitted();
    const bool wasCanceled = std::exchange(m_canceled, false);
    const QString text = locationText(url);
    // A reload that stays where it was is no new location.
    if (m_kind == Kind::Reload && text == m_location && !wasCanceled)
        return;
    m_location = text;
    Q_EMIT navigateComplete2(m_location);
    if (wasCanceled)
        Q_EMIT titleChange(shownTitle(m_page->currentTitle()));
}

void LoadTracker::moveWithinDocument(const QUrl &url)
{
    // A fragment or history.pushState move: no request, no load, a new location.
    if (!loading())
        m_watchdog.stop();
    const QString text = locationText(url);
    if (text == m_location && !m_canceled)
        return;
    const bool wasCanceled = std::exchange(m_canceled, false);
    m_location = text;
    Q_EMIT navigateComplete2(m_location);
    if (wasCanceled)
        Q_EMIT titleChange(shownTitle(m_page->currentTitle()));
}

void LoadTracker::checkCommitFromHistory()
{
    if (uncommitted() && !(m_page->historyMark() == m_markAtStart))
        commit(m_page->currentUrl());
}

void LoadTracker::titleChanged(const QString &title)
{
    if (fromStoppedPage())
        return;
    checkCommitFromHistory();
    // While the location is the canceled page, the page still on screen has no say.
    if (!m_canceled)
        Q_EMIT titleChange(shownTitle(title));
}

void LoadTracker::loadProgress(int progress)
{
    if (!loading())
        return;
    checkCommitFromHistory();
    Q_EMIT progressChange(progress, 100);
}

void LoadTracker::linkHovered(const QString &url)
{
    // The engine also reports "no link" when a load starts; passed on, that would
    // wipe the loading text, so only a change of the hovered link goes out.
    if (url == m_hoveredLink)
        return;
    m_hoveredLink = url;
    Q_EMIT statusTextChange(hostdisplay::linkText(url));
}

void LoadTracker::renderProcessTerminated(bool normalEnd)
{
    // No end will be reported for a load whose renderer died; close it here, leaving
    // the location where it was.
    if (m_state == State::Stopping)
        m_state = State::Started;
    finishLoad(LoadEnd::Stopped, QUrl());
    if (normalEnd || !m_crashPage.rendererDied())
        return;
    // Not from inside the engine's report of the death.
    QTimer::singleShot(0, this, [this] {
        if (m_crashPage.startShowing())
            Q_EMIT stoppedPageWanted();
    });
}
