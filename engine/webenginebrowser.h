#pragma once

#include "engine/loadtracker.h"
#include "engine/webbrowser.h"

class DevToolsWindow;
class EngineDialogs;
class EnginePage;
class PageDialogGate;
class PageDownloads;
class PageInput;
class PagePrint;
class QWebEngineProfile;
class QWebEngineView;
class RequestEnd;

// The browser control over Qt WebEngine: one view filling the widget and its page,
// wired to the parts that do the work: the page's policy (EnginePage), its downloads
// (PageDownloads), the load tracking that makes the control's seven events
// (LoadTracker), the keys and wheel over the page (PageInput), printing (PagePrint),
// the end of a window made for a page's request (RequestEnd) and the reading of typed
// addresses (urlFromUserText). What the engine
// leaves to its host (downloads, sign-in, certificate errors, permissions, script
// dialogs) is asked through dialogs; without them every such request is refused.
class WebEngineBrowser : public WebBrowser, private TrackedPage
{
    Q_OBJECT
public:
    // The pages live in profile, the engine's default one when null.
    explicit WebEngineBrowser(QWidget *parent = nullptr, EngineDialogs *dialogs = nullptr,
                              QWebEngineProfile *profile = nullptr);
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
    void FindText(const QString &text, bool backward, bool caseSensitive) override;
    void SetZoomPercent(int percent) override;
    void ExitFullScreen() override;
    void ViewPageSource() override;
    void ShowDevTools() override;

    QWebEngineView *view() const { return m_view; }

private:
    // Back or Forward, when possible, as the user's own navigation.
    bool userMovesInHistory(bool forward);
    QUrl currentUrl() const override;
    QString currentTitle() const override;
    HistoryMark historyMark() const override;

    void connectTracker();
    void connectPage();

    QWebEngineView *m_view = nullptr;
    PageDialogGate *m_dialogGate = nullptr;
    EnginePage *m_page = nullptr;
    PageDownloads *m_downloads = nullptr;
    LoadTracker m_tracker;
    PageInput *m_input = nullptr;
    RequestEnd *m_requestEnd = nullptr;
    PagePrint *m_print = nullptr;
    // Made when first asked for.
    DevToolsWindow *m_devTools = nullptr;
    bool m_fullScreen = false;
};
