#pragma once

#include <QWidget>

#include <functional>

class QPrinter;

// The hosted browser control as a document window sees it: a few operations and
// properties, and seven events. Member names follow the control the windows were
// designed around, so the windows read as their handlers are named.
class WebBrowser : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~WebBrowser() override = default;

    // Starts loading and returns at once. Takes a web address, an address as the
    // user typed it, or a local file path.
    virtual void Navigate(const QString &address) = 0;
    // Moves in the control's own history; false (and nothing done) when there is none.
    virtual bool GoBack() = 0;
    virtual bool GoForward() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;

    virtual QString LocationName() const = 0;
    virtual QString LocationURL() const = 0;
    virtual bool Busy() const = 0;

    // Beyond the original control: printing and the page's edit actions.
    //
    // Starts printing the page shown and returns at once; PrintFinished tells the
    // end. False, and no PrintFinished, when it cannot start: no printer, nothing
    // loaded yet, or a print of this browser still running. The printer, and the
    // browser, must stay alive until PrintFinished. A printer that writes a PDF file
    // gets a PDF whose text is text, on the sheets the printer is set to.
    virtual bool PrintPage(QPrinter *printer) = 0;
    // The page's own Cut, Copy and Paste on its selection or focused field. With
    // nothing selected, Cut and Copy leave the clipboard as it was.
    virtual void EditCut() = 0;
    virtual void EditCopy() = 0;
    virtual void EditPaste() = 0;

    // Beyond the original control: the page's source in a new window (through the
    // new-window handler, as "view-source:" and the address), and the engine's developer
    // tools for the page in a window of their own, made when first asked for.
    virtual void ViewPageSource() = 0;
    virtual void ShowDevTools() = 0;

    // The window is closing: the page's open questions end as cancelled and it may ask
    // no more. True when some were open: the browser is still inside their calls, and
    // must stay alive until DialogsClosed.
    virtual bool CloseDialogs() = 0;

    // Beyond the original control: finding in the page, and zoom.
    //
    // Highlights every match of text and moves to the next one (the previous one when
    // backward); the same text again moves on from the last match. Empty text clears
    // the highlight. FindTextFinished tells where it got to.
    virtual void FindText(const QString &text, bool backward, bool caseSensitive) = 0;
    // The page drawn at percent of its own size, across its loads until changed.
    virtual void SetZoomPercent(int percent) = 0;
    // Ends the page's own full screen (FullScreenChange(false) follows); nothing when
    // it is not full screen.
    virtual void ExitFullScreen() = 0;

    // Beyond the original control: a page asked for a window of its own for url, from
    // a user's click (a link or form with a target, window.open in a click handler);
    // pages cannot open windows on their own. The handler makes the window and returns
    // its browser control, still empty, at once; the page's own request (form data,
    // referrer, opener) is then opened in it under the engine's rules. Without a
    // handler, or when it returns nullptr, the request is refused. behind: the user
    // asked for it to open behind the current window (a middle click or Ctrl+click),
    // which keeps the focus.
    using NewWindowHandler = std::function<WebBrowser *(const QString &url, bool behind)>;
    void setNewWindowHandler(NewWindowHandler handler) { m_newWindowHandler = std::move(handler); }

Q_SIGNALS:
    void StatusTextChange(const QString &text);
    void ProgressChange(int progress, int progressMax);
    void DownloadBegin();
    void DownloadComplete();
    void TitleChange(const QString &text);
    void BeforeNavigate2(const QString &url);
    void NavigateComplete2(const QString &url);
    void PrintFinished(bool success);
    // Every question open at CloseDialogs has returned.
    void DialogsClosed();
    // The match now selected, counted from 1, of matchCount; 0 of 0 when none.
    void FindTextFinished(int activeMatch, int matchCount);
    // The wheel turned over the page with Ctrl held: whole notches, up positive.
    void ZoomWheel(int steps);
    // The page went full screen (a video's button) or left it; the host shows the
    // control alone on the screen meanwhile, and Esc and F11 there end it. While the
    // page is not loading and not full screen, Esc is the page's own key.
    void FullScreenChange(bool fullScreen);
    // This control was made for a page's request (see NewWindowHandler) and the request
    // will show nothing in it: it became a download, now answered by the user (saved or
    // cancelled), or the engine blocked it. A download goes on without the control, its
    // texts told by the control of the page that asked; the host closes the window.
    void NewWindowNotNeeded();

protected:
    WebBrowser *newWindowFor(const QString &url, bool behind) const
    {
        return m_newWindowHandler ? m_newWindowHandler(url, behind) : nullptr;
    }

private:
    NewWindowHandler m_newWindowHandler;
};
