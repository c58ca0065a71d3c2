#include "engine/browsingprofile.h"

#include "engine/downloadfeed.h"
#include "system/downloadlist.h"
#include "system/programfolder.h"
#include "system/quietlog.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

Q_LOGGING_CATEGORY(lcProfile, "halvane.profile", QtWarningMsg)

namespace {

// Left in the data folder by a deletion the engine could not finish while running.
const QString DeleteSiteDataMark = QStringLiteral("delete-site-data");

// The engine's site storage, by the names it gives the folders in a profile's data folder.
const QStringList SiteDataFolders = {
    QStringLiteral("Local Storage"), QStringLiteral("Session Storage"), QStringLiteral("IndexedDB"),
    QStringLiteral("databases"),     QStringLiteral("Service Worker"),  QStringLiteral("File System"),
    QStringLiteral("WebStorage"),
};

// The folder, made when missing, the user's alone.
bool makeOwnFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

} // namespace

BrowsingProfile::Folders BrowsingProfile::userFolders()
{
    // The data beside the address history where that is kept in the user's folder.
    return {ProgramFolder::userDataFolder(),
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                .filePath(QStringLiteral("Halvane"))};
}

BrowsingProfile::BrowsingProfile(bool keepData, const Folders &folders, QObject *parent)
    : QObject(parent)
    , m_dataFolder(folders.data)
{
    if (!keepData) {
        m_note = QStringLiteral("Browsing data is not kept this session, as Internet Options say.");
    } else if (!makeOwnFolder(folders.data)) {
        m_note = QStringLiteral("Browsing data is not kept this session: %1 cannot be written.").arg(folders.data);
    } else {
        // Two processes on one profile folder corrupt it: the first keeps it for its life.
        m_lock = std::make_unique<QLockFile>(QDir(folders.data).filePath(QStringLiteral("profile.lock")));
        m_lock->setStaleLockTime(0); // only a dead holder's lock is stale
        if (!m_lock->tryLock(0)) {
            m_note = m_lock->error() == QLockFile::LockFailedError
                ? QStringLiteral("Browsing data is not kept this session: another Halvane is using it.")
                : QStringLiteral("Browsing data is not kept this session: %1 cannot be written.").arg(folders.data);
            m_lock.reset();
        }
    }
    if (!m_note.isEmpty()) {
        if (keepData)
            quietlog::warnOnce(lcProfile(), m_note);
        m_profile = new QWebEngineProfile(this); // off the record
        startDownloads();
        return;
    }
    deleteSiteDataOfEarlierSession(folders.data);
    makeOwnFolder(folders.cache);
    m_profile = new QWebEngineProfile(QStringLiteral("Halvane"), this);
    m_profile->setPersistentStoragePath(folders.data);
    m_profile->setCachePath(folders.cache);
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    startDownloads();
}

BrowsingProfile::~BrowsingProfile()
{
    // The feed's page goes before its profile; the list, a child, after both. Downloads
    // still running stay listed as running, which the next start reads as ended early.
    delete m_feed;
    delete m_profile;
}

void BrowsingProfile::startDownloads()
{
    // Off the record the list lasts for the session, in memory only.
    m_downloads = new DownloadList(kept() ? QDir(m_dataFolder).filePath(QStringLiteral("downloads.json")) : QString(), this);
    m_feed = new DownloadFeed(m_profile, *m_downloads);
}

bool BrowsingProfile::kept() const
{
    return !m_profile->isOffTheRecord();
}

void BrowsingProfile::deleteCookiesAndSiteData()
{
    m_profile->cookieStore()->deleteAllCookies();
    m_profile->clearAllVisitedLinks();
    if (!kept())
        return; // off the record it all goes with the process
    // Pages may hold their storage open now; it goes before the next session opens it.
    QFile mark(QDir(m_dataFolder).filePath(DeleteSiteDataMark));
    if (!mark.open(QIODevice::WriteOnly))
        quietlog::warnOnce(lcProfile(), QStringLiteral("site data cannot be marked for deletion: %1")
                                                      .arg(mark.errorString()));
}

void BrowsingProfile::deleteCachedFiles()
{
    m_profile->clearHttpCache();
}

void BrowsingProfile::deleteSiteDataOfEarlierSession(const QString &dataFolder)
{
    QDir data(dataFolder);
    if (!data.exists(DeleteSiteDataMark))
        return;
    for (const QString &name : SiteDataFolders) {
        QDir folder(data.filePath(name));
        if (folder.exists())
            folder.removeRecursively();
    }
    data.remove(DeleteSiteDataMark);
}
