#include "platform/browsingprofile.h"
#include "platform/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

// The engine profile: kept on disk in the user's folders, or off the record and saying
// why; one process at a time on the folders; site data deleted before the next session.
class tst_BrowsingProfile : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void keptOrOffTheRecord_data();
    void keptOrOffTheRecord();
    void siteDataGoesBeforeTheNextSession();
    void cookiesReachTheDisk();
};

void tst_BrowsingProfile::keptOrOffTheRecord_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QString>("obstacle"); // "held": another holds the folders; "file": the folder is a file
    QTest::addColumn<QString>("note");     // empty: kept on disk
    QTest::newRow("kept") << true << QString() << QString();
    QTest::newRow("the user keeps nothing") << false << QString() << u"as Internet Options say"_s;
    QTest::newRow("another Halvane holds it") << true << u"held"_s << u"another Halvane is using it"_s;
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
    // Once the holder has gone, the folders are free again.
    if (first) {
        first.reset();
        BrowsingProfile after(true, folders);
        QVERIFY(after.kept());
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

// A page's lasting cookie is written under the data folder, where the next session
// finds it.
void tst_BrowsingProfile::cookiesReachTheDisk()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/"_s, enginetesting::page("Signed in"));
    server.addHeader(u"/"_s, "Set-Cookie: sid=abc123; Max-Age=86400; Path=/");
    QTemporaryDir home;
    const BrowsingProfile::Folders folders{home.filePath(u"data"_s), home.filePath(u"cache"_s)};
    {
        BrowsingProfile profile(true, folders);
        WebEngineBrowser browser(nullptr, nullptr, profile.profile());
        browser.resize(400, 300);
        browser.show();
        browser.Navigate(server.url(u"/"_s).toString());
        QVERIFY(enginetesting::waitUntil([&] { return browser.LocationName() == u"Signed in"_s; }));
    }
    // The engine writes its cookie store when the profile goes, or every 30 s.
    QVERIFY(enginetesting::waitUntil([&] {
        QFile cookies(QDir(folders.data).filePath(u"Cookies"_s));
        return cookies.open(QIODevice::ReadOnly) && cookies.readAll().contains("abc123");
    }, 40000));
}

QTEST_MAIN(tst_BrowsingProfile)
#include "tst_browsingprofile.moc"
