#pragma once

#include "platform/webbrowser.h"

#include <QDateTime>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

class EngineDialogs;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineView;
class HalvaneWebEnginePage;
class DownloadDispatcher;
class PageDialogGate;

// The browser control over Qt WebEngine: one view filling the widget, its page, and
// the engine's signals turned into the control's seven events with their pairing
// and order (see the .cpp for what the engine does and how it is evened out).
// What the engine leaves to its host (downloads, sign-in, certificate errors,
// permissions, script dialogs) is asked through dialogs; without them every such
// request is refused.
class WebEngineBrowser : public WebBrowser
{
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget *parent = nullptr, EngineDialogs *dialogs = nullptr);
    ~WebEngineBrowser() override;

    void Navigate(const QString &address) override;
    bool GoBack() override;
    bool GoForward() override;
    void Stop() override;
    void Refresh() override;

    QString LocationName() const override;
    QString LocationURL() const override;
    bool Busy() const override;

    bool PrintPage(QPrinter *printer) override;
    void EditCut() override;
    void EditCopy() override;
    void EditPaste() override;
    bool CloseDialogs() override;

    QWebEngineView *view() const { return m_view; }

    // The address a user's text stands for: an existing local path (absolute or
    // relative to the current folder) as a file URL, a web address with or without
    // its scheme; an empty URL for blank, malformed or script text.
    static QUrl urlFromUserText(const QString &text);

    static QString canceledUrl() { return QStringLiteral("about:NavigationCanceled"); }
    static QString canceledName() { return QStringLiteral("Navigation Canceled"); }

private:
    friend class DownloadDispatcher;
    enum class Kind { Navigation, Reload };
    struct HistoryMark {
        int index = -1;
        int count = 0;
        QUrl url;
        QDateTime lastVisited;
        bool operator==(const HistoryMark &) const = default;
    };

    void onNavigationRequested(const QUrl &url, QWebEnginePage::NavigationType type);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onUrlChanged(const QUrl &url);
    void onTitleChanged(const QString &title);
    void onLoadProgress(int progress);
    void onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
    void handleDownload(QWebEngineDownloadRequest *download);

    void expectLoad();
    void beginNavigation(const QUrl &url, Kind kind);
    void commit(const QUrl &url);
    void moveWithinDocument(const QUrl &url);
    bool checkCommitFromHistory();
    void finishLoad(int status, const QUrl &url);
    HistoryMark historyMark() const;

    EngineDialogs *m_dialogs = nullptr;
    QWebEngineView *m_view = nullptr;
    PageDialogGate *m_dialogGate = nullptr;
    HalvaneWebEnginePage *m_page = nullptr;
    // Busy from a call of ours until the engine reports the load (or plainly will not).
    bool m_startPending = false;
    QTimer m_startWatchdog;

    // The load between DownloadBegin and DownloadComplete.
    bool m_loading = false;
    bool m_navigationSeen = false;  // its main-frame request passed acceptNavigationRequest
    bool m_committed = false;
    bool m_userStopped = false;
    Kind m_kind = Kind::Navigation;
    QUrl m_pendingUrl;              // where it is heading, after redirects
    HistoryMark m_markAtStart;

    QString m_location;             // LocationURL
    QUrl m_pageUrl;                 // the engine's last reported address
    bool m_canceled = false;
    QString m_hoveredLink;

    // From a started print until the view reports its end; the view itself
    // refuses a second print meanwhile, without a word.
    bool m_printing = false;

    // The renderer died: a short page of ours stands in for the page at m_location,
    // its load kept out of the events, and Refresh loads m_location again.
    bool m_crashed = false;
    bool m_crashPageShown = false;  // ours is in the view (or on its way) until the user loads
    bool m_crashPageLoading = false;
    bool m_reloadAfterCrash = false;
};
