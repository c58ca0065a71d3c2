#include "engine/browsingprofile.h"
#include "engine/webenginebrowser.h"
#include "system/downloadlist.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

// The engine profile: kept on disk in the user's folders, or off the record and saying
// why; one process at a time on the folders; site data deleted before the next session.
class tst_BrowsingProfile : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        holdProfileForParent();
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }

private Q_SLOTS:
    void keptOrOffTheRecord_data();
    void keptOrOffTheRecord();
    void siteDataGoesBeforeTheNextSession();
    void pageDataLastsUntilDeleted_data();
    void pageDataLastsUntilDeleted();

private:
    static void holdProfileForParent();
};

namespace {

// Set for this binary run again as another Halvane holding the data folder.
const char HoldProfileVariable[] = "HALVANE_HOLD_PROFILE";

// Loads the page into a browser on the profile and waits for its title.
bool loadPage(BrowsingProfile &profile, const QUrl &url, const QString &title)
{
    WebEngineBrowser browser(nullptr, nullptr, profile.profile());
    browser.resize(400, 300);
    browser.show();
    browser.Navigate(url.toString());
    return enginetesting::waitUntil([&] { return browser.LocationName() == title; });
}

bool fileHolds(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
}

// Whether some file under the folder holds the text, wherever the engine put it.
bool folderHolds(const QString &folder, const QByteArray &text)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (fileHolds(it.next(), text))
            return true;
    }
    return false;
}

} // namespace

// As the other Halvane: holds the profile's lock the way a running one does, says so,
// and keeps it until the parent closes our input or kills us.
void tst_BrowsingProfile::holdProfileForParent()
{
    const QByteArray dataFolder = qgetenv(HoldProfileVariable);
    if (dataFolder.isEmpty())
        return;
    QLockFile lock(QDir(QString::fromLocal8Bit(dataFolder)).filePath(u"profile.lock"_s));
    if (!lock.tryLock(0)) {
        std::puts("not held");
        std::exit(1);
    }
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    lock.unlock();
    std::exit(0);
}

void tst_BrowsingProfile::keptOrOffTheRecord_data()
{
    QTest::addColumn<bool>("keep");
    // "held": another profile holds the folders, "process": another process does;
    // "file": the folder is a file
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("note");     // empty: kept on disk
    QTest::newRow("kept") << true << QString() << QString();
    QTest::newRow("the user keeps nothing") << false << QString() << u"as Internet Options say"_s;
    QTest::newRow("another Halvane holds it") << true << u"held"_s << u"another Halvane is using it"_s;
    QTest::newRow("another Halvane process holds it") << true << u"process"_s << u"another Halvane is using it"_s;
    QTest::newRow("the folder cannot be made") << true << u"file"_s << u"cannot be written"_s;
}

void tst_BrowsingProfile::keptOrOffTheRecord()
{
    QFETCH(bool, keep);
    QFETCH(QString, obstacle);
    QFETCH(QString, note);
    QTemporaryDir home;
    const BrowsingProfile::Folders folders{home.filePath(u"data/Halvane"_s), home.filePath(u"cache/Halvane"_s)};
    std::unique_ptr<BrowsingProfile> first;
    if (obstacle == u"held"_s)
        first = std::make_unique<BrowsingProfile>(true, folders);
    QProcess holder;
    if (obstacle == u"process"_s) {
        QVERIFY(QDir().mkpath(folders.data));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(HoldProfileVariable), folders.data);
        holder.setProcessEnvironment(environment);
        holder.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(holder.waitForStarted());
        QVERIFY(enginetesting::waitUntil([&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }));
        QCOMPARE(holder.readLine().trimmed(), "held");
    }
    if (obstacle == u"file"_s) {
        QVERIFY(QDir().mkpath(home.filePath(u"data"_s)));
        QFile blocker(folders.data);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    BrowsingProfile profile(keep, folders);
    QCOMPARE(profile.kept(), note.isEmpty());
    QCOMPARE(profile.profile()->isOffTheRecord(), !note.isEmpty());
    QVERIFY2(note.isEmpty() ? profile.note().isEmpty() : profile.note().contains(note), qPrintable(profile.note()));
    if (note.isEmpty()) {
        QCOMPARE(profile.profile()->storageName(), u"Halvane"_s);
        QCOMPARE(profile.profile()->persistentStoragePath(), folders.data);
        QCOMPARE(profile.profile()->cachePath(), folders.cache);
        QCOMPARE(profile.profile()->httpCacheType(), QWebEngineProfile::DiskHttpCache);
        QCOMPARE(profile.profile()->persistentCookiesPolicy(), QWebEngineProfile::AllowPersistentCookies);
        // The user's alone.
        QCOMPARE(QFile::permissions(folders.data) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }
    // The downloads list: in the data folder when kept, and off the record in memory only.
    DownloadList &downloads = profile.downloads();
    downloads.end(downloads.add(u"http://127.0.0.1/listed.bin"_s, home.filePath(u"listed.bin"_s)),
                  DownloadRecord::State::Finished);
    QCOMPARE(downloads.kept(), note.isEmpty());
    if (note.isEmpty())
        QTRY_VERIFY(fileHolds(QDir(folders.data).filePath(u"downloads.json"_s), "listed.bin"));
    QCoreApplication::processEvents();
    QCOMPARE(folderHolds(home.path(), "listed.bin"), note.isEmpty());
    // Once the holder has gone, the folders are free again.
    if (first) {
        first.reset();
        BrowsingProfile after(true, folders);
        QVERIFY(after.kept());
    }
    // A holder that crashed leaves its lock behind, which must not shut the folders for good.
    if (obstacle == u"process"_s) {
        QCOMPARE(holder.state(), QProcess::Running);
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(QFile::exists(QDir(folders.data).filePath(u"profile.lock"_s)));
        BrowsingProfile after(true, folders);
        QVERIFY2(after.kept(), qPrintable(after.note()));
    }
}

void tst_BrowsingProfile::siteDataGoesBeforeTheNextSession()
{
    QTemporaryDir home;
    const BrowsingProfile::Folders folders{home.filePath(u"data"_s), home.filePath(u"cache"_s)};
    {
        BrowsingProfile profile(true, folders);
        profile.deleteCookiesAndSiteData();
    }
    // What the engine left on disk in the session that asked.
    QDir data(folders.data);
    for (const QString &name : {u"Local Storage"_s, u"IndexedDB"_s, u"Keep Me"_s})
        QVERIFY(data.mkpath(name + u"/leveldb"_s));
    BrowsingProfile next(true, folders);
    QVERIFY(!data.exists(u"Local Storage"_s));
    QVERIFY(!data.exists(u"IndexedDB"_s));
    QVERIFY(data.exists(u"Keep Me"_s));
    QVERIFY(!data.exists(u"delete-site-data"_s));
}

void tst_BrowsingProfile::pageDataLastsUntilDeleted_data()
{
    QTest::addColumn<QString>("kind"); // "cookie", "cache" or "storage"
    QTest::addColumn<bool>("deleted");
    QTest::newRow("a lasting cookie") << u"cookie"_s << false;
    QTest::newRow("a lasting cookie, deleted") << u"cookie"_s << true;
    QTest::newRow("a cached page, deleted") << u"cache"_s << true;
    QTest::newRow("local storage") << u"storage"_s << false;
    QTest::newRow("local storage, deleted") << u"storage"_s << true;
}

// What pages leave is written under the folders, where the next session finds it, and
// deleting it leaves nothing for the rest of this session or the next.
void tst_BrowsingProfile::pageDataLastsUntilDeleted()
{
    QFETCH(QString, kind);
    QFETCH(bool, deleted);
    LoopbackHttpServer server;
    QVERIFY(server.start());
    // Reports what the page sees, as the query of a request for /seen.
    server.setPage(u"/seen"_s, "seen", "text/plain");
    QTemporaryDir home;
    const BrowsingProfile::Folders folders{home.filePath(u"data"_s), home.filePath(u"cache"_s)};
    const QString cookies = QDir(folders.data).filePath(u"Cookies"_s);

    if (kind == u"cookie"_s) {
        server.setPage(u"/"_s, enginetesting::page("Signed in"));
        server.addHeader(u"/"_s, "Set-Cookie: sid=abc123; Max-Age=86400; Path=/");
        server.setPage(u"/check"_s, enginetesting::page("Check", "<script>fetch('/seen?' + document.cookie)"
                                                                 ".then(() => document.title = 'Checked')</script>"));
        // Written after the deletion: once it is on disk, so is the deletion.
        server.addHeader(u"/seen"_s, "Set-Cookie: later=xyz789; Max-Age=86400; Path=/");
        {
            BrowsingProfile profile(true, folders);
            QVERIFY(loadPage(profile, server.url(u"/"_s), u"Signed in"_s));
            if (deleted) {
                profile.deleteCookiesAndSiteData();
                QVERIFY(loadPage(profile, server.url(u"/check"_s), u"Checked"_s));
                QVERIFY2(server.requests().contains(u"/seen?"_s), qPrintable(server.requests().join(u' ')));
            }
        }
        // The engine writes its cookie store when the profile goes, or every 30 s.
        QVERIFY(enginetesting::waitUntil([&] { return fileHolds(cookies, deleted ? "xyz789" : "abc123"); }, 40000));
        QCOMPARE(fileHolds(cookies, "abc123"), !deleted);
    } else if (kind == u"cache"_s) {
        server.setPage(u"/"_s, enginetesting::page("Cached", "<p>cache-marker-5d2e</p>"));
        server.addHeader(u"/"_s, "Cache-Control: max-age=3600");
        BrowsingProfile profile(true, folders);
        QVERIFY(loadPage(profile, server.url(u"/"_s), u"Cached"_s));
        // The engine keeps each entry, body included, in a file of its own under the folder.
        QVERIFY(enginetesting::waitUntil([&] { return folderHolds(folders.cache, "cache-marker-5d2e"); }));
        profile.deleteCachedFiles();
        QVERIFY(enginetesting::waitUntil([&] { return !folderHolds(folders.cache, "cache-marker-5d2e"); }));
    } else {
        server.setPage(u"/store"_s, enginetesting::page("Store", "<script>localStorage.setItem('k', 'v');"
                                                                 "document.title = 'Stored'</script>"));
        server.setPage(u"/read"_s, enginetesting::page("Read", "<script>fetch('/seen?' + localStorage.getItem('k'))"
                                                               ".then(() => document.title = 'Reported')</script>"));
        {
            BrowsingProfile profile(true, folders);
            QVERIFY(loadPage(profile, server.url(u"/store"_s), u"Stored"_s));
            if (deleted)
                profile.deleteCookiesAndSiteData();
        }
        BrowsingProfile next(true, folders);
        QVERIFY2(next.kept(), qPrintable(next.note()));
        QVERIFY(loadPage(next, server.url(u"/read"_s), u"Reported"_s));
        const QString expected = deleted ? u"/seen?null"_s : u"/seen?v"_s;
        QVERIFY2(server.requests().contains(expected), qPrintable(server.requests().join(u' ')));
    }
}

QTEST_MAIN(tst_BrowsingProfile)
#include "tst_browsingprofile.moc"
