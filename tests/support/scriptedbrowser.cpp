#include "support/scriptedbrowser.h"

void ScriptedBrowser::Navigate(const QString &address)
{
    calls << QStringLiteral("Navigate:") + address;
    navigations << address;
}

bool ScriptedBrowser::GoBack()
{
    calls << QStringLiteral("GoBack");
    return canGoBack;
}

bool ScriptedBrowser::GoForward()
{
    calls << QStringLiteral("GoForward");
    return canGoForward;
}

void ScriptedBrowser::Stop()
{
    calls << QStringLiteral("Stop");
}

void ScriptedBrowser::Refresh()
{
    calls << QStringLiteral("Refresh");
}

bool ScriptedBrowser::PrintPage(QPrinter *printer)
{
    calls << QStringLiteral("PrintPage");
    lastPrinter = printer;
    return printAccepted;
}

void ScriptedBrowser::EditCut()
{
    calls << QStringLiteral("EditCut");
}

void ScriptedBrowser::EditCopy()
{
    calls << QStringLiteral("EditCopy");
}

void ScriptedBrowser::EditPaste()
{
    calls << QStringLiteral("EditPaste");
}

void ScriptedBrowser::completeNavigation(const QString &url, const QString &name)
{
    locationURL = url;
    locationName = name;
    Q_EMIT NavigateComplete2(url);
}

void ScriptedBrowser::FindText(const QString &text, bool backward, bool caseSensitive)
{
    calls << QStringLiteral("FindText:%1:%2:%3")
                 .arg(text, backward ? QStringLiteral("back") : QStringLiteral("forward"),
                      caseSensitive ? QStringLiteral("case") : QStringLiteral("anycase"));
}

void ScriptedBrowser::SetZoomPercent(int percent)
{
    calls << QStringLiteral("SetZoomPercent:%1").arg(percent);
}
