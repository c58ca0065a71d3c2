#include "engine/downloadfeed.h"

#include "system/downloadlist.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <algorithm>

namespace {

// The engine's reasons for an interrupted download that its own enumeration and words
// leave out (it would call each the user's cancel).
enum UnnamedReason {
    ServerNoRange = 31,
    ServerContentLengthMismatch = 38,
    ServerCrossOriginRedirect = 39,
    UserShutdown = 41,
    Crash = 50,
};

} // namespace

DownloadFeed::DownloadFeed(QWebEngineProfile *profile, DownloadList &list)
    : QObject(profile)
    , m_profile(profile)
    , m_list(list)
{
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadFeed::claim);
    connect(&list, &DownloadList::cancelRequested, this, &DownloadFeed::cancel);
    connect(&list, &DownloadList::retryRequested, this, &DownloadFeed::retry);
}

DownloadFeed::~DownloadFeed()
{
    delete m_retryPage;
}

DownloadFeed *DownloadFeed::of(QWebEngineProfile *profile)
{
    return profile ? profile->findChild<DownloadFeed *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void DownloadFeed::follow(QWebEngineDownloadRequest *download)
{
    if (const auto row = m_rows.constFind(download->id()); row != m_rows.cend()) {
        follow(download, *row);
        return;
    }
    const QString path = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    follow(download, m_list.add(download->url().toString(), path));
}

bool DownloadFeed::hasEnded(const QWebEngineDownloadRequest *download)
{
    // Interrupted after the engine's own tries to go on, a download is not finished for
    // the engine (the user could still resume it), but nothing more comes of it.
    return download->isFinished() || download->state() == QWebEngineDownloadRequest::DownloadInterrupted;
}

QString DownloadFeed::failureReason(const QWebEngineDownloadRequest *download)
{
    switch (int(download->interruptReason())) {
    case ServerNoRange:
        return QStringLiteral("The server cannot send the rest");
    case ServerContentLengthMismatch:
        return QStringLiteral("The server closed the connection early");
    case ServerCrossOriginRedirect:
        return QStringLiteral("Sent on to another site");
    case UserShutdown:
        return QStringLiteral("Halvane ended before it finished");
    case Crash:
        return QStringLiteral("The web engine crashed");
    default:
        return download->interruptReasonString();
    }
}

void DownloadFeed::acceptInto(QWebEngineDownloadRequest *download, const QString &path)
{
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    download->accept();
}

void DownloadFeed::follow(QWebEngineDownloadRequest *download, quint64 id)
{
    QPointer<QWebEngineDownloadRequest> &followed = m_running[id];
    if (followed == download)
        return;
    // The engine's earlier request for it says no more.
    if (followed)
        followed->disconnect(this);
    followed = download;
    m_rows.insert(download->id(), id);
    const auto progress = [this, download, id] {
        m_list.setProgress(id, download->receivedBytes(), download->totalBytes());
    };
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, progress);
    connect(download, &QWebEngineDownloadRequest::totalBytesChanged, this, progress);
    const auto end = [this, download, id, progress] {
        if (!hasEnded(download))
            return;
        m_running.remove(id);
        download->disconnect(this);
        progress();
        switch (download->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted:
            m_list.end(id, DownloadRecord::State::Finished);
            break;
        case QWebEngineDownloadRequest::DownloadCancelled:
            m_list.end(id, DownloadRecord::State::Cancelled);
            break;
        default:
            m_list.end(id, DownloadRecord::State::Failed, failureReason(download));
            break;
        }
    };
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, end);
    connect(download, &QWebEngineDownloadRequest::stateChanged, this, end);
    progress();
}

void DownloadFeed::claim(QWebEngineDownloadRequest *download)
{
    // A download the engine goes on with is resumed here when no page's downloads do it
    // (its page has gone); a page's own, which may come after this, finds it accepted.
    if (const auto known = m_rows.constFind(download->id()); known != m_rows.cend()) {
        const int row = m_list.rowOf(*known);
        if (download->state() == QWebEngineDownloadRequest::DownloadRequested && row >= 0) {
            acceptInto(download, m_list.at(row).path);
            follow(download, *known);
        }
        return;
    }
    if (!m_retryPage || download->page() != m_retryPage || m_retries.isEmpty())
        return;
    // The engine may name the address a redirect led to: then the oldest retry waiting.
    auto retry = std::find_if(m_retries.begin(), m_retries.end(),
                              [download](const auto &r) { return r.first == download->url(); });
    if (retry == m_retries.end())
        retry = m_retries.begin();
    const quint64 id = retry->second;
    m_retries.erase(retry);
    const int row = m_list.rowOf(id);
    if (row < 0) {
        download->cancel(); // removed from the list meanwhile
        return;
    }
    // Where the user chose the first time.
    acceptInto(download, m_list.at(row).path);
    m_list.restart(id);
    follow(download, id);
}

void DownloadFeed::cancel(quint64 id)
{
    if (QWebEngineDownloadRequest *download = m_running.value(id))
        download->cancel();
}

void DownloadFeed::retry(quint64 id)
{
    const int row = m_list.rowOf(id);
    const bool asked = std::any_of(m_retries.cbegin(), m_retries.cend(), [id](const auto &r) { return r.second == id; });
    if (row < 0 || asked || m_running.contains(id))
        return;
    const QUrl address(m_list.at(row).address);
    if (!address.isValid())
        return;
    if (!m_retryPage)
        m_retryPage = new QWebEnginePage(m_profile, this);
    m_retries.append({address, id});
    m_retryPage->download(address);
}
