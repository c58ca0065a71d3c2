#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <utility>

class DownloadList;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;

// Feeds the downloads list from the engine: every download accepted on the profile is
// listed and followed to its end (finished, failed with the engine's reason, cancelled),
// and the list's Cancel and Retry come back here. The engine cannot resume a download
// that failed or was cancelled, so a retry starts it again from its address, into the
// file the user chose the first time, in the same row. After a network error the engine
// goes on with a download by itself and asks for it again as if it were new: that too
// goes on in its row, into its file, the user not asked again. A child of the profile,
// which must delete it first: its page for retries may not outlive the profile.
class DownloadFeed : public QObject
{
    Q_OBJECT
public:
    DownloadFeed(QWebEngineProfile *profile, DownloadList &list);
    ~DownloadFeed() override;
    static DownloadFeed *of(QWebEngineProfile *profile);

    // A download just accepted where the user chose: listed from now on. The engine's
    // new request for a download it goes on with by itself keeps its row.
    void follow(QWebEngineDownloadRequest *download);
    // Whether nothing more comes of the download: finished, cancelled or failed.
    static bool hasEnded(const QWebEngineDownloadRequest *download);
    // Why the download failed, in words.
    static QString failureReason(const QWebEngineDownloadRequest *download);
    // Saves the download as path, and starts it.
    static void acceptInto(QWebEngineDownloadRequest *download, const QString &path);

private:
    void follow(QWebEngineDownloadRequest *download, quint64 id);
    void claim(QWebEngineDownloadRequest *download);
    void cancel(quint64 id);
    void retry(quint64 id);

    QWebEngineProfile *m_profile;
    DownloadList &m_list;
    QHash<quint64, QPointer<QWebEngineDownloadRequest>> m_running;
    // The list's id of each download by the engine's.
    QHash<quint32, quint64> m_rows;
    // Retries asked for whose download has not come yet, in order.
    QList<std::pair<QUrl, quint64>> m_retries;
    // Asks the engine for retries; made at the first.
    QWebEnginePage *m_retryPage = nullptr;
};
