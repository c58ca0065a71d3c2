#include "engine/requestend.h"

#include "engine/downloads.h"
#include "engine/enginepage.h"

#include <utility>

RequestEnd::RequestEnd(EnginePage *page, PageDownloads *downloads, QObject *parent)
    : QObject(parent)
    , m_downloads(downloads)
{
    // A window opened only for a download, or for a page the engine refuses, goes, as
    // a tab opened for a download does.
    connect(m_downloads, &PageDownloads::handled, this, &RequestEnd::showsNothing);
    connect(page, &EnginePage::dataAddressBlocked, this, [this] {
        if (m_awaiting)
            Q_EMIT statusText(QStringLiteral("Pop-up blocked: a page may not open a data: address"));
        showsNothing();
    });
    connect(page, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        if (!url.isEmpty())
            m_awaiting = false;
    });
}

void RequestEnd::awaitFrom(RequestEnd *opener)
{
    m_opener = opener;
    m_awaiting = true;
}

void RequestEnd::showsNothing()
{
    if (!std::exchange(m_awaiting, false))
        return;
    m_downloads->handOver(m_opener ? m_opener->m_downloads : nullptr);
    Q_EMIT notNeeded();
}
