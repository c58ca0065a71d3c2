#pragma once

#include "engine/webbrowser.h"

#include <QStringList>

// A browser control that loads nothing: it records the calls made on it and lets a
// test set its location and busy state and raise its events (signals are public).
class ScriptedBrowser : public WebBrowser
{
    Q_OBJECT
public:
    using WebBrowser::WebBrowser;

    void Navigate(const QString &address) override;
    bool GoBack() override;
    bool GoForward() override;
    void Stop() override;
    void Refresh() override;
    QString LocationName() const override { return locationName; }
    QString LocationURL() const override { return locationURL; }
    bool Busy() const override { return busy; }
    bool PrintPage(QPrinter *printer) override;
    void EditCut() override;
    void EditCopy() override;
    void EditPaste() override;
    // Answers as a page with questions open would while dialogsOpen is set.
    bool CloseDialogs() override
    {
        ++closeDialogsCalls;
        return dialogsOpen;
    }

    // Recorded as "FindText:<text>:<back|forward>:<case|anycase>"; a test answers with
    // FindTextFinished.
    void FindText(const QString &text, bool backward, bool caseSensitive) override;
    void SetZoomPercent(int percent) override;
    void ExitFullScreen() override { calls << QStringLiteral("ExitFullScreen"); }
    void ViewPageSource() override { calls << QStringLiteral("ViewPageSource"); }
    void ShowDevTools() override { calls << QStringLiteral("ShowDevTools"); }

    // Sets the location and raises NavigateComplete2, as a committed page would.
    void completeNavigation(const QString &url, const QString &name);
    // Asks for a window as a page's click would; the browser the handler gave, if any.
    WebBrowser *requestNewWindow(const QString &url, bool behind = false) const
    {
        return newWindowFor(url, behind);
    }

    // What the window under test called, in order ("Navigate:<address>", "GoBack", ...).
    QStringList calls;
    QStringList navigations;
    QString locationName;
    QString locationURL;
    bool busy = false;
    bool canGoBack = false;
    bool canGoForward = false;
    // What PrintPage answers; the printer it was last given, kept so that a test
    // can raise PrintFinished for it later.
    bool printAccepted = true;
    QPrinter *lastPrinter = nullptr;
    bool dialogsOpen = false;
    int closeDialogsCalls = 0;
};
