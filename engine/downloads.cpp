#include "engine/downloads.h"

#include "engine/downloadfeed.h"
#include "engine/downloadname.h"
#include "engine/enginedialogs.h"
#include "engine/pagedialoggate.h"
#include "system/downloadlist.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

// What every text a download tells begins with.
const QString Downloading = QStringLiteral("Downloading ");
const QString Saved = QStringLiteral("Saved ");
const QString DownloadOf = QStringLiteral("Download of ");

} // namespace

bool isDownloadStatusText(const QString &text)
{
    return text.startsWith(Downloading) || text.startsWith(Saved) || text.startsWith(DownloadOf);
}

// What one accepted download tells while it runs: its progress and its end, as status
// texts through the page downloads it belongs to at the moment. A child of the download
// (the profile's), so it lasts as long as the download, whatever page goes; and of the
// request the engine makes anew when it goes on with the download by itself.
class DownloadReport : public QObject
{
    Q_OBJECT
public:
    DownloadReport(QWebEngineDownloadRequest *download, PageDownloads *owner, const QString &path)
        : m_owner(owner)
        , m_path(path)
        , m_name(QFileInfo(path).fileName())
        , m_folder(QDir::toNativeSeparators(QFileInfo(path).absolutePath()))
    {
        follow(download);
    }

    QWebEngineDownloadRequest *download() const { return m_download; }
    QString path() const { return m_path; }

    void follow(QWebEngineDownloadRequest *download)
    {
        if (m_download)
            m_download->disconnect(this);
        m_download = download;
        setParent(download);
        connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this,
                &DownloadReport::reportProgress);
        connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, &DownloadReport::reportEnd);
        connect(download, &QWebEngineDownloadRequest::stateChanged, this, &DownloadReport::reportEnd);
    }

    void setOwner(PageDownloads *owner) { m_owner = owner; }

private:
    void tell(const QString &text)
    {
        if (m_owner)
            Q_EMIT m_owner->statusText(text);
    }

    void reportProgress()
    {
        const qint64 total = m_download->totalBytes();
        const qint64 received = m_download->receivedBytes();
        // One arg() for all: a name holding "%1" stays as it is.
        const QString text =
            total > 0 ? (Downloading + QStringLiteral("%1: %2% of %3"))
                            .arg(m_name, QString::number(received * 100 / total), DownloadList::sizeText(total))
                      : (Downloading + QStringLiteral("%1: %2")).arg(m_name, DownloadList::sizeText(received));
        if (text == m_lastText)
            return;
        m_lastText = text;
        tell(text);
    }

    void reportEnd()
    {
        if (!DownloadFeed::hasEnded(m_download))
            return;
        // Told once.
        m_download->disconnect(this);
        switch (m_download->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted:
            tell((Saved + QStringLiteral("%1 to %2")).arg(m_name, m_folder));
            break;
        case QWebEngineDownloadRequest::DownloadCancelled:
            tell((DownloadOf + QStringLiteral("%1 cancelled")).arg(m_name));
            break;
        default:
            tell((DownloadOf + QStringLiteral("%1 failed: %2")).arg(m_name, DownloadFeed::failureReason(m_download)));
            break;
        }
    }

    QWebEngineDownloadRequest *m_download = nullptr;
    QPointer<PageDownloads> m_owner;
    QString m_path;
    QString m_name;
    QString m_folder;
    QString m_lastText;
};

// One per profile, so that each download is seen once and goes to the downloads of
// the page that started it.
class DownloadDispatcher : public QObject
{
    Q_OBJECT
public:
    static DownloadDispatcher *of(QWebEngineProfile *profile)
    {
        return profile->findChild<DownloadDispatcher *>(QString(), Qt::FindDirectChildrenOnly);
    }

    static void add(QWebEngineProfile *profile, PageDownloads *downloads)
    {
        DownloadDispatcher *dispatcher = of(profile);
        if (!dispatcher)
            dispatcher = new DownloadDispatcher(profile);
        dispatcher->m_pages.append(downloads);
    }

    static void remove(QWebEngineProfile *profile, PageDownloads *downloads)
    {
        if (DownloadDispatcher *dispatcher = of(profile))
            dispatcher->m_pages.removeAll(downloads);
    }

private:
    explicit DownloadDispatcher(QWebEngineProfile *profile)
        : QObject(profile)
    {
        connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadDispatcher::dispatch);
    }

    void dispatch(QWebEngineDownloadRequest *download)
    {
        for (PageDownloads *downloads : std::as_const(m_pages)) {
            if (downloads->resume(download))
                return;
        }
        for (PageDownloads *downloads : std::as_const(m_pages)) {
            if (downloads->page() == download->page()) {
                downloads->handle(download);
                return;
            }
        }
        // Not accepted here, the engine cancels it.
    }

    QList<PageDownloads *> m_pages;
};

PageDownloads::PageDownloads(QWebEnginePage *page, EngineDialogs *dialogs, PageDialogGate *gate)
    : QObject(page)
    , m_page(page)
    , m_profile(page->profile())
    , m_dialogs(dialogs)
    , m_gate(gate)
{
    DownloadDispatcher::add(m_profile, this);
}

PageDownloads::~PageDownloads()
{
    if (m_profile)
        DownloadDispatcher::remove(m_profile, this);
}

void PageDownloads::handle(QWebEngineDownloadRequest *download)
{
    const QString suggested =
        QDir(downloadFolder()).filePath(cleanDownloadName(download->suggestedFileName()));
    QString path;
    if (m_dialogs)
        m_gate->ask([&](PageDialog &dialog) { path = m_dialogs->saveFileName(dialog, suggested); });
    if (path.isEmpty()) {
        download->cancel();
        Q_EMIT handled();
        return;
    }
    m_reports.removeIf([](const QPointer<DownloadReport> &report) { return report.isNull(); });
    m_reports.append(new DownloadReport(download, this, path));
    DownloadFeed::acceptInto(download, path);
    if (DownloadFeed *feed = DownloadFeed::of(m_profile))
        feed->follow(download);
    Q_EMIT handled();
}

bool PageDownloads::resume(QWebEngineDownloadRequest *download)
{
    for (const QPointer<DownloadReport> &report : std::as_const(m_reports)) {
        if (!report || report->download() == download || report->download()->id() != download->id())
            continue;
        // Where the user chose the first time, without asking again.
        if (download->state() == QWebEngineDownloadRequest::DownloadRequested)
            DownloadFeed::acceptInto(download, report->path());
        report->follow(download);
        if (DownloadFeed *feed = DownloadFeed::of(m_profile))
            feed->follow(download);
        return true;
    }
    return false;
}

void PageDownloads::handOver(PageDownloads *heir)
{
    for (const QPointer<DownloadReport> &report : std::as_const(m_reports)) {
        if (report)
            report->setOwner(heir);
    }
    if (heir)
        heir->m_reports.append(m_reports);
    m_reports.clear();
}

#include "downloads.moc"
