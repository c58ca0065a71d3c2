#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class DownloadReport;
class EngineDialogs;
class PageDialogGate;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QString;

// Whether a status text is one a download told (its progress or its end): a click on
// it in the status bar opens the downloads.
bool isDownloadStatusText(const QString &text);

// The downloads one page starts: each is saved only where the user chose (the name
// proposed is the server's, cleaned, in the download folder), or cancelled; its
// progress and its end are told as status texts. Several pages share a profile, and
// the profile reports every download once: each goes to the downloads of the page
// that started it. Lives as long as its page; a download, the profile's, goes on
// without it, and tells its texts to the downloads it was handed to, if any.
class PageDownloads : public QObject
{
    Q_OBJECT
public:
    PageDownloads(QWebEnginePage *page, EngineDialogs *dialogs, PageDialogGate *gate);
    ~PageDownloads() override;

    const QWebEnginePage *page() const { return m_page; }
    void handle(QWebEngineDownloadRequest *download);
    // After a network error the engine goes on with a download by itself, and asks for it
    // again as if it were new: one of these downloads is then resumed where it was saved,
    // and true returned.
    bool resume(QWebEngineDownloadRequest *download);
    // The downloads still running go on telling their texts through heir (a page
    // closing while they run hands them to the page that opened it).
    void handOver(PageDownloads *heir);

Q_SIGNALS:
    void statusText(const QString &text);
    // A download of the page was answered: accepted where the user chose, or cancelled.
    void handled();

private:
    const QWebEnginePage *m_page;
    QPointer<QWebEngineProfile> m_profile;
    EngineDialogs *m_dialogs;
    PageDialogGate *m_gate;
    // Those accepted here and not handed over; each goes with its download.
    QList<QPointer<DownloadReport>> m_reports;
};
