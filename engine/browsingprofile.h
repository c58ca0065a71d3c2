#pragma once

#include "engine/browsingdata.h"

#include <QObject>
#include <QString>
#include <memory>

class DownloadFeed;
class QLockFile;
class QWebEngineProfile;

// The engine profile every page of this process uses. Kept on disk under the name
// "Halvane" (data in the user's XDG data folder, cache in the XDG cache folder,
// persistent cookies, a disk HTTP cache) when the user keeps browsing data and no other
// Halvane holds it; otherwise off the record, and note() says why.
class BrowsingProfile : public QObject, public BrowsingData
{
    Q_OBJECT
public:
    struct Folders
    {
        QString data;
        QString cache;
    };
    // $XDG_DATA_HOME/Halvane and $XDG_CACHE_HOME/Halvane.
    static Folders userFolders();

    BrowsingProfile(bool keepData, const Folders &folders, QObject *parent = nullptr);
    ~BrowsingProfile() override;

    QWebEngineProfile *profile() const { return m_profile; }

    bool kept() const override;
    QString note() const override { return m_note; }
    QString dataFolder() const override { return m_dataFolder; }
    void deleteCookiesAndSiteData() override;
    void deleteCachedFiles() override;
    DownloadList &downloads() override { return *m_downloads; }

    // Site data the engine cannot delete while it runs goes at the next start, before
    // the profile opens; deleteCookiesAndSiteData() asks for that.
    static void deleteSiteDataOfEarlierSession(const QString &dataFolder);

private:
    void startDownloads();

    std::unique_ptr<QLockFile> m_lock;
    QWebEngineProfile *m_profile = nullptr;
    DownloadList *m_downloads = nullptr;
    DownloadFeed *m_feed = nullptr;
    QString m_dataFolder;
    QString m_note;
};
