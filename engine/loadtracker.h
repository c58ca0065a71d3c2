#pragma once

#include "engine/crashpage.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

// What the load tracker reads from the engine's page at the moment it needs it.
class TrackedPage
{
public:
    // Where the page's history stands. A commit to the address already shown changes
    // nothing else the engine reports: only the visit time of its entry moves.
    struct HistoryMark {
        int index = -1;
        int count = 0;
        QUrl url;
        QDateTime lastVisited;
        bool operator==(const HistoryMark &) const = default;
    };

    virtual ~TrackedPage() = default;
    virtual QUrl currentUrl() const = 0;
    virtual QString currentTitle() const = 0;
    virtual HistoryMark historyMark() const = 0;
};

// The engine's signals turned into the browser control's seven events, with their
// pairing and order: never two DownloadBegin without a DownloadComplete, a location
// only when a page commits, about:NavigationCanceled for a navigation the user
// stopped before its page came. The engine's signals come in as plain calls, so
// recorded sequences can be played through it without an engine.
class LoadTracker : public QObject
{
    Q_OBJECT
public:
    // How the engine asks for a main-frame request.
    enum class Request { Navigation, Redirect, Reload };
    enum class LoadEnd { Succeeded, Failed, Stopped };
    // What Refresh asks of the engine.
    enum class Refresh { Nothing, ReloadPage, LoadLocation };

    // The watchdog clears Busy for a call of ours the engine never turned into a load
    // (a same-document move it handled silently, or a request it dropped).
    static constexpr int StartWatchdogMs = 2000;

    explicit LoadTracker(const TrackedPage *page, int watchdogMs = StartWatchdogMs,
                         QObject *parent = nullptr);

    // The user's calls, made before the engine is told.
    void userLoads(); // Navigate, GoBack, GoForward
    bool userStops(); // false: nothing to stop, the engine need not hear of it
    Refresh userRefreshes();

    // The engine's signals.
    void navigationRequested(const QUrl &url, Request type);
    void loadStarted(const QUrl &url);
    void loadFinished(LoadEnd end, const QUrl &url);
    void urlChanged(const QUrl &url);
    void titleChanged(const QString &title);
    void loadProgress(int progress);
    void linkHovered(const QString &url);
    void renderProcessTerminated(bool normalEnd);

    bool busy() const { return loading() || m_watchdog.isActive(); }
    QString location() const { return m_location; }
    QString locationName() const;
    // The engine's last reported address; empty while nothing has committed.
    QUrl pageUrl() const { return m_pageUrl; }

    static QString canceledUrl() { return QStringLiteral("about:NavigationCanceled"); }
    static QString canceledName() { return QStringLiteral("Navigation Canceled"); }

Q_SIGNALS:
    void statusTextChange(const QString &text);
    void progressChange(int progress, int progressMax);
    void downloadBegin();
    void downloadComplete();
    void titleChange(const QString &text);
    void beforeNavigate2(const QString &url);
    void navigateComplete2(const QString &url);
    // Put CrashPage::html() in the view; its load is kept out of the events.
    void stoppedPageWanted();

private:
    // The load, from the engine taking up a main-frame request to its end. A call of
    // ours the engine has not taken up yet is no state of the load (it may come on
    // top of a running one): it keeps Busy while the watchdog runs.
    enum class State {
        Idle,      // no load; the location stands
        Announced, // the engine took up a main-frame request; its load has not started
        Started,   // DownloadBegin is out; no page has committed
        Stopping,  // started, then stopped by the user before any page committed
        Committed, // the load's page committed; DownloadComplete is still to come
    };
    enum class Kind { Navigation, Reload };

    bool loading() const;
    // title as the window's caption shows it.
    QString shownTitle(const QString &title) const;
    bool uncommitted() const { return m_state == State::Started || m_state == State::Stopping; }
    // Our stopped page's own reports say nothing of the location.
    bool fromStoppedPage() const { return m_crashPage.standsIn() && !loading(); }
    void beginNavigation(const QUrl &url, Kind kind);
    void finishLoad(LoadEnd end, const QUrl &url);
    void commit(const QUrl &url);
    void cancel();
    void moveWithinDocument(const QUrl &url);
    void checkCommitFromHistory();

    const TrackedPage *m_page;
    State m_state = State::Idle;
    QTimer m_watchdog;
    CrashPage m_crashPage;

    Kind m_kind = Kind::Navigation; // of the request being tracked
    Kind m_nextKind = Kind::Navigation; // Reload: the next request is Refresh of a dead page
    QUrl m_pendingUrl;              // where the request is heading, after redirects
    TrackedPage::HistoryMark m_markAtStart;

    QString m_location;             // LocationURL
    // The location is the canceled page: its name is ours, and the page left on screen
    // has no say in it until a page commits or moves.
    bool m_canceled = false;
    QUrl m_pageUrl;
    QString m_hoveredLink;
};
