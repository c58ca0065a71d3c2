#pragma once

#include <QObject>
#include <QPointer>

class EnginePage;
class PageDownloads;

// A browser control made for a page's request (a link with a target, a click's
// window.open) until it shows something. When the request shows nothing in it (it
// became a download the user answered, or the engine blocked it), its downloads go on
// through the opener's, and notNeeded tells the host the window may go.
class RequestEnd : public QObject
{
    Q_OBJECT
public:
    RequestEnd(EnginePage *page, PageDownloads *downloads, QObject *parent);

    // Made for a request of opener's page, which has shown nothing here yet.
    void awaitFrom(RequestEnd *opener);
    // The user loaded something else here: the window is the user's now.
    void userLoads() { m_awaiting = false; }

Q_SIGNALS:
    void statusText(const QString &text);
    void notNeeded();

private:
    void showsNothing();

    PageDownloads *m_downloads;
    bool m_awaiting = false;
    QPointer<RequestEnd> m_opener;
};
