#include "platform/downloads.h"

#include "platform/downloadname.h"
#include "platform/enginedialogs.h"
#include "platform/pagedialoggate.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <memory>

namespace {

QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace

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
        return;
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    const QString name = target.fileName();
    const QString folder = QDir::toNativeSeparators(target.absolutePath());

    auto lastText = std::make_shared<QString>();
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this,
            [this, download, name, lastText] {
                const qint64 total = download->totalBytes();
                const qint64 received = download->receivedBytes();
                // One arg() for all: a name holding "%1" stays as it is.
                const QString text =
                    total > 0 ? QStringLiteral("Downloading %1: %2% of %3")
                                    .arg(name, QString::number(received * 100 / total), dataSize(total))
                              : QStringLiteral("Downloading %1: %2").arg(name, dataSize(received));
                if (text == *lastText)
                    return;
                *lastText = text;
                Q_EMIT statusText(text);
            });
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
            [this, download, name, folder] { reportEnd(download, name, folder); });
    download->accept();
}

void PageDownloads::reportEnd(QWebEngineDownloadRequest *download, const QString &name,
                              const QString &folder)
{
    if (!download->isFinished())
        return;
    switch (download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        Q_EMIT statusText(QStringLiteral("Saved %1 to %2").arg(name, folder));
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        Q_EMIT statusText(QStringLiteral("Download of %1 cancelled").arg(name));
        break;
    default:
        Q_EMIT statusText(QStringLiteral("Download of %1 failed: %2")
                              .arg(name, download->interruptReasonString()));
        break;
    }
}

#include "downloads.moc"
