#pragma once

#include <QObject>
#include <QPointer>

class EngineDialogs;
class PageDialogGate;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;

// The downloads one page starts: each is saved only where the user chose (the name
// proposed is the server's, cleaned, in the download folder), or cancelled; its
// progress and its end are told as status texts. Several pages share a profile, and
// the profile reports every download once: each goes to the downloads of the page
// that started it. Lives as long as its page.
class PageDownloads : public QObject
{
    Q_OBJECT
public:
    PageDownloads(QWebEnginePage *page, EngineDialogs *dialogs, PageDialogGate *gate);
    ~PageDownloads() override;

    const QWebEnginePage *page() const { return m_page; }
    void handle(QWebEngineDownloadRequest *download);

Q_SIGNALS:
    void statusText(const QString &text);

private:
    void reportEnd(QWebEngineDownloadRequest *download, const QString &name, const QString &folder);

    const QWebEnginePage *m_page;
    QPointer<QWebEngineProfile> m_profile;
    EngineDialogs *m_dialogs;
    PageDialogGate *m_gate;
};
