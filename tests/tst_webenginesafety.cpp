#include "browser/frmBrowser.h"
#include "browser/historywriter.h"
#include "engine/downloadname.h"
#include "engine/pagedialog.h"
#include "engine/qtenginedialogs.h"
#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/scriptedenginedialogs.h"
#include "support/testplatform.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

using namespace Qt::StringLiterals;

using namespace enginetesting;

namespace {

// How an address of another program's scheme is come to.
enum class Start { Click, Script, Navigate };

QByteArray scriptPage(const QByteArray &script)
{
    return "<html><head><title>loading</title></head><body><script>" + script
           + "</script></body></html>";
}

// Opens a page's new windows as document windows in the same area, as the main window
// does, and keeps every status text.
class WindowMakingHost : public TestHost
{
public:
    WindowMakingHost(QMdiArea *area, Platform &platform)
        : TestHost(area)
        , m_area(area)
        , m_platform(platform)
    {
    }
    void writeStatusText(const QString &text) override
    {
        TestHost::writeStatusText(text);
        texts << text;
    }
    WebBrowser *openInNewWindow(const QString &address, bool behind) override
    {
        TestHost::openInNewWindow(address, behind);
        opened = new frmBrowser(m_area, m_platform, *this);
        opened->cboAddress->setEditText(address);
        return opened->brwWebBrowser;
    }

    QStringList texts;
    QPointer<frmBrowser> opened;

private:
    QMdiArea *m_area;
    Platform &m_platform;
};

} // namespace

class tst_WebEngineSafety : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void download_data();
    void download();
    void downloadName_data();
    void downloadName();
    void saveDialogInFreshHome_data();
    void saveDialogInFreshHome();
    void signIn_data();
    void signIn();
    void certificateError_data();
    void certificateError();
    void permissionAskedOnceAndDeniedByDefault_data();
    void permissionAskedOnceAndDeniedByDefault();
    void scriptDialogs_data();
    void scriptDialogs();
    void pageDialogsCanBeStopped();
    void realDialogsHoldOnlyTheirPage_data();
    void realDialogsHoldOnlyTheirPage();
    void rendererCrashThenRefresh();
    void rendererKeepsDying_data();
    void rendererKeepsDying();
    void newWindowOnlyFromUserClick_data();
    void newWindowOnlyFromUserClick();
    void newWindowWithNothingToShowCloses_data();
    void newWindowWithNothingToShowCloses();
    void otherProgramsScheme_data();
    void otherProgramsScheme();

private:
    WebEngineBrowser *makeBrowser(EngineDialogs *dialogs);
    // Refresh after a crash loads /plain again as a reload, not a new navigation.
    void refreshLoadsPlainAgain(WebEngineBrowser *browser);
    QStringList statusTexts(const WebEngineBrowser *browser) const;
    QString url(const QString &path) const { return m_server.url(path).toString(); }

    LoopbackHttpServer m_server;
    QTemporaryDir m_certDir;
    // Holds a stand-in xdg-open, first on PATH, that notes each address it is given
    // in the file "opened" beside it.
    QTemporaryDir m_desktop;
    TemporaryHome m_home;
    QList<WebEngineBrowser *> m_browsers;
    QHash<const WebEngineBrowser *, QStringList> m_logs;
};

void tst_WebEngineSafety::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(m_server.start());
    m_server.setPage(u"/plain"_s, page("Plain"));

    // Before the first address goes to the desktop, which looks for xdg-open once.
    QVERIFY(m_desktop.isValid());
    QFile opener(m_desktop.filePath(u"xdg-open"_s));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_desktop.filePath(u"opened"_s).toUtf8()
                 + "'\n");
    opener.close();
    QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(m_desktop.path()) + ':' + qgetenv("PATH"));
}

void tst_WebEngineSafety::cleanup()
{
    qDeleteAll(m_browsers);
    m_browsers.clear();
    m_logs.clear();
}

WebEngineBrowser *tst_WebEngineSafety::makeBrowser(EngineDialogs *dialogs)
{
    auto *browser = new WebEngineBrowser(nullptr, dialogs);
    m_browsers << browser;
    browser->resize(640, 480);
    browser->show();
    QStringList &log = m_logs[browser];
    connect(browser, &WebBrowser::BeforeNavigate2, this, [&log](const QString &u) { log << u"Before:"_s + u; });
    connect(browser, &WebBrowser::DownloadBegin, this, [&log] { log << u"Begin"_s; });
    connect(browser, &WebBrowser::NavigateComplete2, this, [&log](const QString &u) { log << u"Nav:"_s + u; });
    connect(browser, &WebBrowser::DownloadComplete, this, [&log] { log << u"Complete"_s; });
    connect(browser, &WebBrowser::StatusTextChange, this, [&log](const QString &t) { log << u"Status:"_s + t; });
    return browser;
}

QStringList tst_WebEngineSafety::statusTexts(const WebEngineBrowser *browser) const
{
    QStringList out;
    for (const QString &entry : m_logs.value(browser)) {
        if (entry.startsWith(u"Status:"_s))
            out << entry.mid(7);
    }
    return out;
}

void tst_WebEngineSafety::download_data()
{
    QTest::addColumn<bool>("withDialogs");
    QTest::addColumn<QString>("savedName"); // empty: the user cancels
    QTest::addColumn<QByteArray>("serverName");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("saved where the user chose") << true << u"saved.bin"_s << QByteArray() << u"data.bin"_s;
    QTest::newRow("cancelled by the user") << true << QString() << QByteArray() << u"data.bin"_s;
    QTest::newRow("no dialogs") << false << QString() << QByteArray() << u"data.bin"_s;
    QTest::newRow("saved as a name holding %1 and %2")
        << true << u"saved %1 %2.bin"_s << QByteArray() << u"data.bin"_s;
    QTest::newRow("server's name climbing out of the folder")
        << true << QString() << QByteArray("../../evil.sh") << u"evil.sh"_s;
    QTest::newRow("server's name a hidden file")
        << true << QString() << QByteArray(".bashrc") << u"bashrc"_s;
}

void tst_WebEngineSafety::download()
{
    QFETCH(bool, withDialogs);
    QFETCH(QString, savedName);
    QFETCH(QByteArray, serverName);
    QFETCH(QString, proposed);
    const bool save = !savedName.isEmpty();

    QByteArray body;
    for (int i = 0; i < 300 * 1024; ++i)
        body += char(i * 7 % 251);
    // A path of the row's own: the server's headers stay with a path.
    const QString path = u"/files/%1/data.bin"_s.arg(qHash(QTest::currentDataTag()));
    m_server.setPage(path, body, "application/octet-stream");
    if (!serverName.isEmpty())
        m_server.addHeader(path, "Content-Disposition: attachment; filename=\"" + serverName + '"');
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // Another window on the same profile, made first: it must not hear of the download.
    ScriptedEngineDialogs bystanderDialogs;
    bystanderDialogs.savePath = dir.filePath(u"wrong.bin"_s);
    makeBrowser(&bystanderDialogs);

    ScriptedEngineDialogs dialogs;
    if (save)
        dialogs.savePath = dir.filePath(savedName);
    WebEngineBrowser *browser = makeBrowser(withDialogs ? &dialogs : nullptr);
    browser->Navigate(url(path));

    if (save) {
        const QString done = u"Saved %1 to %2"_s.arg(savedName, QDir::toNativeSeparators(dir.path()));
        QVERIFY2(waitUntil([&] { return statusTexts(browser).contains(done); }),
                 qPrintable(statusTexts(browser).join(u" | "_s)));
        QFile file(dir.filePath(savedName));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == body);
        QVERIFY2(!statusTexts(browser).filter(u"Downloading "_s + savedName + u": "_s).isEmpty(),
                 qPrintable(statusTexts(browser).join(u" | "_s)));
    } else {
        QVERIFY(waitUntil([&] { return m_server.requests().contains(path); }));
        QVERIFY(waitUntil([&] { return !browser->Busy(); }));
        QTest::qWait(500);
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        QVERIFY(statusTexts(browser).filter(u"Saved "_s).isEmpty());
    }
    if (withDialogs) {
        const QString suggested =
            QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation))
                .filePath(proposed);
        QCOMPARE(dialogs.asked, QStringList{u"save|"_s + suggested});
    }
    QVERIFY(bystanderDialogs.asked.isEmpty());
    QVERIFY(statusTexts(m_browsers.first()).isEmpty());
}

void tst_WebEngineSafety::downloadName_data()
{
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("plain") << u"report 2024.pdf"_s << u"report 2024.pdf"_s;
    QTest::newRow("up two folders") << u"../../x"_s << u"x"_s;
    QTest::newRow("absolute") << u"/etc/passwd"_s << u"passwd"_s;
    QTest::newRow("the folder above") << u".."_s << u"download"_s;
    QTest::newRow("hidden file") << u".bashrc"_s << u"bashrc"_s;
    QTest::newRow("dots and blanks before") << u" . ..profile "_s << u"profile"_s;
    QTest::newRow("backslash folders") << u"..\\..\\win.ini"_s << u"win.ini"_s;
    QTest::newRow("NUL") << u"a.txt"_s + QChar(0) + u".sh"_s << u"a.txt.sh"_s;
    QTest::newRow("newline and CR") << u"a\r\nb.txt"_s << u"ab.txt"_s;
    QTest::newRow("other controls and DEL") << u"\x1b[31ma\x7f\tb"_s << u"[31mab"_s;
    QTest::newRow("direction override") << u"evil"_s + QChar(0x202E) + u"txt.sh"_s << u"eviltxt.sh"_s;
    QTest::newRow("empty") << QString() << u"download"_s;
    QTest::newRow("a folder") << u"dir/"_s << u"download"_s;
    QTest::newRow("only controls") << u"\n\n"_s << u"download"_s;
    QTest::newRow("percent signs kept") << u"%1 of %2.txt"_s << u"%1 of %2.txt"_s;
    QTest::newRow("too long, type kept") << QString(300, u'a') + u".tar.gz"_s
                                         << QString(252, u'a') + u".gz"_s;
    QTest::newRow("too long, cut between characters")
        << QString(200, QChar(0x00e9)) << QString(127, QChar(0x00e9));
}

void tst_WebEngineSafety::downloadName()
{
    QFETCH(QString, serverName);
    QFETCH(QString, proposed);
    QCOMPARE(cleanDownloadName(serverName), proposed);
}

void tst_WebEngineSafety::saveDialogInFreshHome_data()
{
    QTest::addColumn<QByteArray>("userDirs"); // the desktop's user-dirs.dirs; empty: none
    QTest::addColumn<QString>("before");      // "": nothing where the folder goes
    QTest::addColumn<QString>("folder");      // under the home folder
    QTest::addColumn<bool>("ownerOnly");      // the folder afterwards: rwx------, else rwxr-xr-x
    QTest::newRow("no download folder yet") << QByteArray() << QString() << u"Downloads"_s << true;
    QTest::newRow("the desktop's folder, missing")
        << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/Fetched/Files\"\n") << QString() << u"Fetched/Files"_s
        << true;
    QTest::newRow("folder there, left as it is") << QByteArray() << u"folder"_s << u"Downloads"_s << false;
    // The dialog opens in the home folder (made owner-only by the test).
    QTest::newRow("a file where the folder goes") << QByteArray() << u"file"_s << QString() << true;
}

// A new user's first download: the dialog opens in the download folder with the name
// alone, never in the working folder with a path for a name.
void tst_WebEngineSafety::saveDialogInFreshHome()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(QString, before);
    QFETCH(QString, folder);
    QFETCH(bool, ownerOnly);

    const TemporaryHome home;
    QVERIFY(home.isValid());
    if (!userDirs.isEmpty()) {
        QVERIFY(QDir(home.path()).mkpath(u".config"_s));
        QFile dirs(home.filePath(u".config/user-dirs.dirs"_s));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write(userDirs);
    }
    const QString downloads = home.filePath(u"Downloads"_s);
    if (before == u"folder"_s) {
        QVERIFY(QDir().mkdir(downloads, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                            | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                            | QFile::ExeOther));
    } else if (before == u"file"_s) {
        QFile file(downloads);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    const QString path = u"/fresh/"_s + QString::number(qHash(QTest::currentDataTag())) + u"/doc"_s;
    m_server.setPage(path, "%PDF-1.4", "application/pdf");
    m_server.addHeader(path, "Content-Disposition: attachment; filename=\"doc.pdf\"");
    QtEngineDialogs dialogs;
    WebEngineBrowser *browser = makeBrowser(&dialogs);
    QString shownFolder;
    QString shownName;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog || !dialog->isVisible() || !shownFolder.isNull())
                continue;
            shownFolder = dialog->directory().absolutePath();
            if (const auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s))
                shownName = name->text();
            dialog->reject();
        }
    });
    watcher.start(20);
    browser->Navigate(url(path));
    QVERIFY(waitUntil([&] { return !shownFolder.isNull(); }));

    const QString expected = QDir(home.path()).filePath(folder);
    QCOMPARE(shownFolder + u" | "_s + shownName, QDir(expected).absolutePath() + u" | doc.pdf"_s);
    QVERIFY(QFileInfo(expected).isDir());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const QFile::Permissions shared = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QCOMPARE(QFile::permissions(expected) & others, ownerOnly ? QFile::Permissions() : shared);
    QVERIFY(waitUntil([&] { return !browser->Busy(); }));
}

void tst_WebEngineSafety::signIn_data()
{
    QTest::addColumn<bool>("withDialogs");
    QTest::addColumn<QStringList>("passwords");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("asks");
    QTest::newRow("right password") << true << QStringList{u"opensesame"_s} << u"Secret"_s << 1;
    QTest::newRow("wrong, then right") << true << QStringList{u"guess"_s, u"opensesame"_s}
                                       << u"Secret"_s << 2;
    QTest::newRow("wrong, then cancelled") << true << QStringList{u"guess"_s} << u"Refused"_s << 2;
    QTest::newRow("no dialogs") << false << QStringList() << u"Refused"_s << 0;
}

void tst_WebEngineSafety::signIn()
{
    QFETCH(bool, withDialogs);
    QFETCH(QStringList, passwords);
    QFETCH(QString, title);
    QFETCH(int, asks);

    // A server of its own: the engine keeps accepted credentials for the origin.
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/secret"_s, page("Secret"));
    server.setBasicAuth(u"/secret"_s, u"ann"_s, u"opensesame"_s, u"Vault"_s);
    ScriptedEngineDialogs dialogs;
    for (const QString &password : passwords)
        dialogs.signIns.append({u"ann"_s, password});
    WebEngineBrowser *browser = makeBrowser(withDialogs ? &dialogs : nullptr);
    browser->Navigate(server.url(u"/secret"_s).toString());
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), title, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !browser->Busy(); }));
    QCOMPARE(dialogs.asked, QStringList(asks, u"credentials|127.0.0.1|Vault"_s));
    // A site that asks again and again can be stopped like any page's dialogs.
    for (qsizetype i = 0; i < dialogs.offeredStop.size(); ++i)
        QCOMPARE(dialogs.offeredStop.at(i), i > 0);
    // The first request, then one for each password given.
    QCOMPARE(server.requests().size(), passwords.size() + 1);
}

void tst_WebEngineSafety::certificateError_data()
{
    QTest::addColumn<bool>("withDialogs");
    QTest::addColumn<bool>("accept");
    // In this order: once accepted, the engine keeps the exception for the run.
    QTest::newRow("no dialogs") << false << false;
    QTest::newRow("answered no") << true << false;
    QTest::newRow("answered yes") << true << true;
}

void tst_WebEngineSafety::certificateError()
{
    QFETCH(bool, withDialogs);
    QFETCH(bool, accept);

    static LoopbackHttpServer tls;
    if (!tls.isListening()) {
        QVERIFY(m_certDir.isValid());
        QProcess openssl;
        openssl.setWorkingDirectory(m_certDir.path());
        openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s,
                                     u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s,
                                     u"subjectAltName=IP:127.0.0.1"_s, u"-days"_s, u"2"_s,
                                     u"-keyout"_s, u"key.pem"_s, u"-out"_s, u"cert.pem"_s});
        QVERIFY(openssl.waitForFinished(30000));
        QCOMPARE(openssl.exitCode(), 0);
        const auto certs = QSslCertificate::fromPath(m_certDir.filePath(u"cert.pem"_s));
        QCOMPARE(certs.size(), 1);
        QFile keyFile(m_certDir.filePath(u"key.pem"_s));
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        const QSslKey key(keyFile.readAll(), QSsl::Rsa);
        QVERIFY(tls.startTls(certs.first(), key));
        tls.setPage(u"/secure"_s, page("Secure"));
    }
    QVERIFY(tls.url(u"/secure"_s).scheme() == u"https"_s);
    tls.clearRequests();

    ScriptedEngineDialogs dialogs;
    dialogs.acceptCertificate = accept;
    WebEngineBrowser *browser = makeBrowser(withDialogs ? &dialogs : nullptr);
    browser->Navigate(tls.url(u"/secure"_s).toString());
    QVERIFY(waitUntil([&] { return m_logs.value(browser).contains(u"Complete"_s); }));
    QCOMPARE(browser->LocationName() == u"Secure"_s, accept);
    QCOMPARE(tls.requests().contains(u"/secure"_s), accept);
    if (withDialogs)
        QCOMPARE(dialogs.asked, QStringList{u"certificate|127.0.0.1"_s});
}

void tst_WebEngineSafety::permissionAskedOnceAndDeniedByDefault_data()
{
    QTest::addColumn<bool>("withDialogs");
    QTest::addColumn<bool>("grant");
    QTest::addColumn<QString>("result");
    QTest::newRow("no dialogs") << false << false << u"denied"_s;
    QTest::newRow("answered no") << true << false << u"denied"_s;
    QTest::newRow("answered yes") << true << true << u"granted"_s;
}

void tst_WebEngineSafety::permissionAskedOnceAndDeniedByDefault()
{
    QFETCH(bool, withDialogs);
    QFETCH(bool, grant);
    QFETCH(QString, result);

    // A server of its own: another port is another origin, not yet answered for.
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/notify"_s,
                   scriptPage("Notification.requestPermission().then(r => document.title = r);"));
    ScriptedEngineDialogs dialogs;
    dialogs.grant = grant;
    // The second window on the same site gets the first answer without a question.
    for (int window = 0; window < 2; ++window) {
        WebEngineBrowser *browser = makeBrowser(withDialogs ? &dialogs : nullptr);
        browser->Navigate(server.url(u"/notify"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), result, LoadTimeoutMs);
    }
    if (withDialogs)
        QCOMPARE(dialogs.asked, QStringList{u"permission|127.0.0.1|notifications"_s});
}

void tst_WebEngineSafety::scriptDialogs_data()
{
    QTest::addColumn<bool>("withDialogs");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("asked");

    const QByteArray confirm = "document.title = confirm('Sure?') ? 'yes' : 'no';";
    const QByteArray prompt = "var r = prompt('Name?', 'nobody'); document.title = r === null ? 'null' : r;";
    QTest::newRow("alert") << true << false << QByteArray("alert('Hello'); document.title = 'after';")
                           << u"after"_s << u"alert|127.0.0.1|Hello"_s;
    QTest::newRow("confirm yes") << true << true << confirm << u"yes"_s << u"confirm|127.0.0.1|Sure?"_s;
    QTest::newRow("confirm no") << true << false << confirm << u"no"_s << u"confirm|127.0.0.1|Sure?"_s;
    QTest::newRow("prompt answered") << true << true << prompt << u"typed"_s
                                     << u"prompt|127.0.0.1|Name?|nobody"_s;
    QTest::newRow("prompt cancelled") << true << false << prompt << u"null"_s
                                      << u"prompt|127.0.0.1|Name?|nobody"_s;
    QTest::newRow("confirm, no dialogs") << false << true << confirm << u"no"_s << QString();
    QTest::newRow("prompt, no dialogs") << false << true << prompt << u"null"_s << QString();
}

void tst_WebEngineSafety::scriptDialogs()
{
    QFETCH(bool, withDialogs);
    QFETCH(bool, answer);
    QFETCH(QByteArray, script);
    QFETCH(QString, title);
    QFETCH(QString, asked);

    const QString path = u"/script/"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_');
    m_server.setPage(path, scriptPage(script));
    ScriptedEngineDialogs dialogs;
    dialogs.confirmAnswer = answer;
    dialogs.promptAnswered = answer;
    dialogs.promptText = u"typed"_s;
    WebEngineBrowser *browser = makeBrowser(withDialogs ? &dialogs : nullptr);
    browser->Navigate(url(path));
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), title, LoadTimeoutMs);
    QCOMPARE(dialogs.asked, asked.isEmpty() ? QStringList() : QStringList{asked});
}

void tst_WebEngineSafety::pageDialogsCanBeStopped()
{
    m_server.setPage(u"/flood"_s,
                     scriptPage("for (let i = 0; i < 100; ++i) alert(i);"
                                "const more = confirm('more?');"
                                "setTimeout(() => location.href = '/again?' + more, 0);"));
    m_server.setPage(u"/again"_s, scriptPage("alert('again'); document.title = 'again';"));
    ScriptedEngineDialogs dialogs;
    dialogs.stopAt = 3;
    dialogs.confirmAnswer = true;
    WebEngineBrowser *browser = makeBrowser(&dialogs);
    browser->Navigate(url(u"/flood"_s));
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"again"_s, LoadTimeoutMs);
    // Three alerts shown, the box from the second on; the rest and the confirm answered
    // as cancelled without showing; on the next document the page may ask again.
    QCOMPARE(dialogs.asked, (QStringList{u"alert|127.0.0.1|0"_s, u"alert|127.0.0.1|1"_s,
                                         u"alert|127.0.0.1|2"_s, u"alert|127.0.0.1|again"_s}));
    QCOMPARE(dialogs.offeredStop, (QList<bool>{false, true, true, true}));
    QVERIFY(m_server.requests().contains(u"/again?false"_s));

    // The user's own navigation starts the count afresh.
    browser->Navigate(url(u"/again?typed"_s));
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.asked.size(), 5, LoadTimeoutMs);
    QCOMPARE(dialogs.offeredStop.last(), false);
}

void tst_WebEngineSafety::realDialogsHoldOnlyTheirPage_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("closeWindow");
    QTest::addColumn<QString>("title");

    // Markup from a page is text: an <img> naming a device file must not be loaded
    // (reading /dev/zero on the UI thread never ends).
    const QByteArray alert = "alert('<img src=\"/dev/zero\"><b>Trust me</b>'); document.title = 'done';";
    const QByteArray confirm =
        "document.title = confirm('<img src=\"/dev/zero\"><b>Trust me</b>') ? 'yes' : 'no';";
    const QByteArray prompt = "const r = prompt('<img src=\"/dev/zero\"><b>Trust me</b>', '<i>x</i>');"
                              "document.title = r === null ? 'null' : r;";
    QTest::newRow("alert answered") << alert << false << u"done"_s;
    QTest::newRow("confirm answered") << confirm << false << u"no"_s;
    QTest::newRow("prompt answered") << prompt << false << u"null"_s;
    QTest::newRow("confirm, window closed") << confirm << true << QString();
    QTest::newRow("prompt, window closed") << prompt << true << QString();
}

void tst_WebEngineSafety::realDialogsHoldOnlyTheirPage()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, closeWindow);
    QFETCH(QString, title);

    const QString markup = u"<img src=\"/dev/zero\"><b>Trust me</b>"_s;
    const QString path = u"/real/"_s + QString::number(qHash(QTest::currentDataTag()));
    m_server.setPage(path, scriptPage(script));
    QtEngineDialogs dialogs;
    WebEngineBrowser *browser = makeBrowser(&dialogs);
    WebEngineBrowser *other = makeBrowser(nullptr);
    QSignalSpy closed(browser, &WebBrowser::DialogsClosed);

    // The dialog's own event loop runs while it is open: look at it from a timer.
    bool seen = false;
    bool plain = false;
    bool modal = true;
    bool pageHeld = false;
    bool othersFree = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        QDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible())
                dialog = d;
        }
        if (!dialog || seen)
            return;
        seen = true;
        const auto labels = dialog->findChildren<QLabel *>();
        for (const QLabel *label : labels)
            plain |= label->text() == markup && label->textFormat() == Qt::PlainText;
        modal = QGuiApplication::modalWindow() || QApplication::activeModalWidget()
                || dialog->windowModality() != Qt::NonModal;
        pageHeld = !browser->isEnabled();
        othersFree = other->isEnabled() && other->window()->isEnabled();
        if (closeWindow)
            QVERIFY(browser->CloseDialogs());
        else
            dialog->reject();
    });
    watcher.start(20);
    browser->Navigate(url(path));
    QVERIFY(waitUntil([&] { return seen && !browser->Busy(); }));
    QVERIFY2(plain, "the page's text is shown as it is, as plain text");
    QVERIFY(!modal);
    QVERIFY(pageHeld);
    QVERIFY(othersFree);
    if (closeWindow) {
        QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, LoadTimeoutMs);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), title, LoadTimeoutMs);
        QVERIFY(browser->isEnabled());
        QCOMPARE(closed.size(), 0);
    }
}

void tst_WebEngineSafety::rendererCrashThenRefresh()
{
    WebEngineBrowser *browser = makeBrowser(nullptr);
    browser->Navigate(url(u"/plain"_s));
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Plain"_s, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !browser->Busy() && browser->view()->page()->renderProcessPid() > 0; }));
    const QStringList before = m_logs.value(browser);

    QCOMPARE(::kill(pid_t(browser->view()->page()->renderProcessPid()), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(browser->view()->page()->title(), u"Page stopped"_s, LoadTimeoutMs);
    QTest::qWait(200);
    // Our stopped page is no navigation of the page's: no events, the location stays.
    QCOMPARE(m_logs.value(browser), before);
    QCOMPARE(browser->LocationURL(), url(u"/plain"_s));
    QVERIFY(!browser->Busy());
    refreshLoadsPlainAgain(browser);
}

void tst_WebEngineSafety::refreshLoadsPlainAgain(WebEngineBrowser *browser)
{
    const QStringList before = m_logs.value(browser);
    m_server.clearRequests();
    browser->Refresh();
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Plain"_s, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !browser->Busy(); }));
    QCOMPARE(m_server.requests(), QStringList{u"/plain"_s});
    QCOMPARE(browser->LocationURL(), url(u"/plain"_s));
    // A refresh: one begin and one complete, no new navigation.
    const QStringList after = m_logs.value(browser).mid(before.size());
    QCOMPARE(after.count(u"Begin"_s), 1);
    QCOMPARE(after.count(u"Complete"_s), 1);
    QVERIFY2(after.filter(QRegularExpression(u"^(Before|Nav):"_s)).isEmpty(),
             qPrintable(after.join(u" | "_s)));
}

void tst_WebEngineSafety::rendererKeepsDying_data()
{
    QTest::addColumn<bool>("stoppedPageFirst");
    QTest::newRow("ours killed while it loads") << false;
    QTest::newRow("ours killed once shown") << true;
}

void tst_WebEngineSafety::rendererKeepsDying()
{
    QFETCH(bool, stoppedPageFirst);

    WebEngineBrowser *browser = makeBrowser(nullptr);
    QWebEnginePage *page = browser->view()->page();
    browser->Navigate(url(u"/plain"_s));
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Plain"_s, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !browser->Busy() && page->renderProcessPid() > 0; }));
    const QStringList before = m_logs.value(browser);
    int pageLoads = 0;
    connect(page, &QWebEnginePage::loadStarted, this, [&pageLoads] { ++pageLoads; });

    // Every renderer the view gets is killed: the page's, then each one after it.
    QList<qint64> killed;
    for (int round = 0; round < 5; ++round) {
        qint64 pid = 0;
        // No new renderer within this time: the engine has stopped making them.
        if (!waitUntil([&] {
                pid = page->renderProcessPid();
                return pid > 0 && !killed.contains(pid);
            }, 3000))
            break;
        if (stoppedPageFirst && round == 1)
            QTRY_COMPARE_WITH_TIMEOUT(page->title(), u"Page stopped"_s, LoadTimeoutMs);
        killed << pid;
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    }
    // The page's renderer and the one of our stopped page; nothing after that. On a busy
    // machine the engine may start a second process for that one load of ours, killed
    // too; a page restarted after every death would go on to the last round.
    QVERIFY2(killed.size() == 2 || killed.size() == 3, qPrintable(QString::number(killed.size())));
    QCOMPARE(pageLoads, 1);
    QCOMPARE(m_logs.value(browser), before);
    QCOMPARE(browser->LocationURL(), url(u"/plain"_s));
    QVERIFY(!browser->Busy());
    refreshLoadsPlainAgain(browser);
}

void tst_WebEngineSafety::newWindowOnlyFromUserClick_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("click");
    QTest::addColumn<QString>("requested"); // the address asked for; empty: no window
    QTest::addColumn<QString>("shown");     // the title the new window comes to show
    QTest::addColumn<QString>("arrived");   // "METHOD target body" at the server; empty: none
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("behind");       // the window asked for goes behind the current one

    const QByteArray cover = "style='display:block;position:absolute;left:0;top:0;width:400px;height:300px'";
    QTest::newRow("target=_blank link clicked")
        << QByteArray("<a href='/popup1' target='_blank' " + cover + ">new</a>") << true
        << u"/popup1"_s << u"Popup"_s << u"GET /popup1 "_s << int(Qt::LeftButton) << 0 << false;
    // A plain link the user wants beside the page, behind it.
    const QByteArray plainLink = "<a href='/popup5' " + cover + ">link</a>";
    QTest::newRow("link middle-clicked") << plainLink << true << u"/popup5"_s << u"Popup"_s << u"GET /popup5 "_s
                                         << int(Qt::MiddleButton) << 0 << true;
    QTest::newRow("link Ctrl+clicked") << plainLink << true << u"/popup5"_s << u"Popup"_s << u"GET /popup5 "_s
                                       << int(Qt::LeftButton) << int(Qt::ControlModifier) << true;
    QTest::newRow("window.open on click")
        << QByteArray("<div " + cover + " onclick=\"window.open('/popup2')\">open</div>") << true
        << u"/popup2"_s << u"Popup"_s << u"GET /popup2 "_s << int(Qt::LeftButton) << 0 << false;
    QTest::newRow("form posted to a new window")
        << QByteArray("<form method='post' action='/popup4' target='_blank'>"
                      "<input type='hidden' name='q' value='a b'><input type='submit' " + cover + "></form>")
        << true << u"/popup4"_s << u"Popup"_s << u"POST /popup4 q=a+b"_s
        << int(Qt::LeftButton) << 0 << false;
    // The engine refuses a page's top-level data: address, which could pose as any site.
    QTest::newRow("target=_blank link to a data: page")
        << QByteArray("<a href='data:text/html,<title>Fake</title>Sign in' target='_blank' " + cover + ">new</a>")
        << true << u"data:text/html,%3Ctitle%3EFake%3C/title%3ESign in"_s << QString() << QString()
        << int(Qt::LeftButton) << 0 << false;
    QTest::newRow("window.open from a timer")
        << scriptPage("setTimeout(() => { window.open('/popup3'); document.title = 'tried'; }, 200);")
        << false << QString() << QString() << QString()
        << int(Qt::LeftButton) << 0 << false;
}

void tst_WebEngineSafety::newWindowOnlyFromUserClick()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, click);
    QFETCH(QString, requested);
    QFETCH(QString, shown);
    QFETCH(QString, arrived);
    QFETCH(int, button);
    QFETCH(int, modifiers);
    QFETCH(bool, behind);

    for (const char *popup : {"/popup1", "/popup2", "/popup3", "/popup4", "/popup5"})
        m_server.setPage(QString::fromLatin1(popup), page("Popup"));
    const QString path = u"/opener/"_s + QString::number(qHash(QTest::currentDataTag()));
    m_server.setPage(path, click ? page("Opener", body) : body);
    WebEngineBrowser *browser = makeBrowser(nullptr);
    // As the host does: a new window at once, its browser handed back for the request.
    QStringList requests;
    QList<bool> behinds;
    WebEngineBrowser *opened = nullptr;
    browser->setNewWindowHandler([&](const QString &address, bool asBehind) -> WebBrowser * {
        requests << address;
        behinds << asBehind;
        opened = makeBrowser(nullptr);
        return opened;
    });
    browser->Navigate(url(path));
    if (click) {
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Opener"_s, LoadTimeoutMs);
        QVERIFY(waitUntil([&] { return !browser->Busy() && browser->view()->focusProxy(); }));
        QTest::qWait(500); // the first frame, before the page takes input
        m_server.clearRequests();
        QTest::mouseClick(browser->view()->focusProxy(), Qt::MouseButton(button),
                          Qt::KeyboardModifiers(modifiers), QPoint(50, 50));
        QTRY_COMPARE_WITH_TIMEOUT(requests.size(), 1, LoadTimeoutMs);
        QCOMPARE(requests.first(), requested.startsWith(u'/') ? url(requested) : requested);
        QCOMPARE(behinds.first(), behind);
        QVERIFY(opened);
        if (!shown.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(opened->LocationName(), shown, LoadTimeoutMs);
            QCOMPARE(opened->LocationURL(), url(requested));
            // The page's own request, once: with its form data, from the page that opened it.
            QVERIFY(waitUntil([&] { return !opened->Busy(); }));
            const auto received = m_server.fullRequests();
            QCOMPARE(received.size(), 1);
            QCOMPARE(QString::fromLatin1(received.first().method + ' ') + received.first().target
                         + u' ' + QString::fromUtf8(received.first().body),
                     arrived);
            QCOMPARE(m_logs.value(opened),
                     QStringList({u"Before:"_s + url(requested), u"Begin"_s, u"Status:Opening "_s + url(requested) + u"..."_s,
                                  u"Nav:"_s + url(requested), u"Status:Done"_s, u"Complete"_s}));
        } else {
            QTest::qWait(1000);
            QVERIFY(!opened->view()->page()->title().contains(u"Fake"_s));
            QVERIFY(!opened->LocationName().contains(u"Fake"_s));
            QVERIFY(opened->LocationURL().isEmpty());
            QVERIFY(m_server.requests().isEmpty());
        }
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"tried"_s, LoadTimeoutMs);
        QTest::qWait(500);
        QVERIFY(requests.isEmpty());
        QVERIFY(!m_server.requests().contains(u"/popup3"_s));
    }
}

void tst_WebEngineSafety::newWindowWithNothingToShowCloses_data()
{
    QTest::addColumn<QString>("target");   // what the link with target=_blank leads to
    QTest::addColumn<QString>("savedName"); // the user's answer to the save dialog; empty: cancel
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("status");    // a text the main window's status bar gets
    QTest::newRow("a download, saved") << u"download"_s << u"kept.bin"_s << true << u"Saved kept.bin to "_s;
    QTest::newRow("a download, cancelled") << u"download"_s << QString() << true << QString();
    QTest::newRow("a data: page, blocked")
        << u"data:text/html,<title>Fake</title>Sign in"_s << QString() << true
        << u"Pop-up blocked: a page may not open a data: address"_s;
    QTest::newRow("a page") << u"/popup1"_s << QString() << false << QString();
}

// A link with target=_blank to something that shows no page leaves no empty numbered
// window behind; a download it started goes on after its window closed.
void tst_WebEngineSafety::newWindowWithNothingToShowCloses()
{
    QFETCH(QString, target);
    QFETCH(QString, savedName);
    QFETCH(bool, closes);
    QFETCH(QString, status);

    QTemporaryDir saveDir;
    QVERIFY(saveDir.isValid());
    ScriptedEngineDialogs dialogs;
    if (!savedName.isEmpty())
        dialogs.savePath = saveDir.filePath(savedName);
    TestPlatform env;
    env.platform.makeBrowser = [&dialogs](QWidget *parent) { return new WebEngineBrowser(parent, &dialogs); };
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    WindowMakingHost host(&area, env.platform);

    const QString row = QString::number(qHash(QTest::currentDataTag()));
    QByteArray body;
    for (int i = 0; i < 1024 * 1024; ++i)
        body += char(i * 13 % 251);
    const QString file = u"/nothing/%1/file"_s.arg(row);
    m_server.setPage(file, body, "application/octet-stream");
    m_server.addHeader(file, "Content-Disposition: attachment; filename=\"file.bin\"");
    // Under way, not done, when its window goes.
    m_server.setBodyHold(file, 64 * 1024);
    m_server.setPage(u"/popup1"_s, page("Popup"));
    const QString href = target == u"download"_s ? file : target;
    const QByteArray cover = "style='display:block;position:absolute;left:0;top:0;width:400px;height:300px'";
    const QString openerPath = u"/nothing/%1/opener"_s.arg(row);
    m_server.setPage(openerPath, page("Opener", "<a href='" + href.toUtf8() + "' target='_blank' " + cover + ">new</a>"));

    auto *opener = new frmBrowser(&area, env.platform, host);
    auto *browser = static_cast<WebEngineBrowser *>(opener->brwWebBrowser);
    // The tools panel the windows write to is a child of the area too.
    const auto documentWindows = [&area] {
        QList<QWidget *> windows;
        for (const QMdiSubWindow *sub : area.subWindowList()) {
            if (qobject_cast<frmBrowser *>(sub->widget()))
                windows << sub->widget();
        }
        return windows;
    };
    browser->Navigate(url(openerPath));
    QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Opener"_s, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !browser->Busy() && browser->view()->focusProxy(); }));
    QTest::qWait(500); // the first frame, before the page takes input
    QTest::mouseClick(browser->view()->focusProxy(), Qt::LeftButton, {}, QPoint(50, 50));
    QTRY_COMPARE_WITH_TIMEOUT(host.newWindows.size(), 1, LoadTimeoutMs);

    if (!closes) {
        QVERIFY(host.opened);
        QTRY_COMPARE_WITH_TIMEOUT(host.opened->brwWebBrowser->LocationName(), u"Popup"_s, LoadTimeoutMs);
        QVERIFY(waitUntil([&] { return !host.opened->brwWebBrowser->Busy(); }));
        QCOMPARE(documentWindows(), (QList<QWidget *>{opener, host.opened}));
    } else {
        const auto leftBehind = [&] {
            return host.opened ? u"left open, its box showing "_s + host.opened->cboAddress->currentText()
                               : QString();
        };
        QTRY_VERIFY2_WITH_TIMEOUT(!host.opened, qPrintable(leftBehind()), LoadTimeoutMs);
        QCOMPARE(documentWindows(), QList<QWidget *>{opener});
    }
    m_server.releaseHeld();
    if (!savedName.isEmpty()) {
        const QString done = status + QDir::toNativeSeparators(saveDir.path());
        QVERIFY2(waitUntil([&] { return host.texts.contains(done); }), qPrintable(host.texts.join(u" | "_s)));
        QFile saved(saveDir.filePath(savedName));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll() == body);
    } else if (!status.isEmpty()) {
        QVERIFY2(host.texts.contains(status), qPrintable(host.texts.join(u" | "_s)));
    }
    if (target == u"download"_s)
        QCOMPARE(dialogs.askedOf(u"save"_s).size(), 1);
    QCOMPARE(QDir(saveDir.path()).entryList(QDir::Files), savedName.isEmpty() ? QStringList() : QStringList{savedName});
    HistoryWriter::waitForAll();
}

void tst_WebEngineSafety::otherProgramsScheme_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Start>("start");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");

    const QString files = u"sftp://127.0.0.1/share/file.txt"_s;
    const QByteArray cover = "style='display:block;position:absolute;left:0;top:0;width:400px;height:300px'";
    const QByteArray link = "<a href='" + files.toUtf8() + "' " + cover + ">files</a>";
    QTest::newRow("clicked, answered no") << link << Start::Click << files << false << true;
    QTest::newRow("clicked, answered yes") << link << Start::Click << files << true << true;
    QTest::newRow("started by a script")
        << QByteArray("<script>setTimeout(() => { location.href = '" + files.toUtf8()
                      + "'; document.title = 'tried'; }, 200);</script>")
        << Start::Script << files << true << false;
    // Typed, or given on the command line as a new window's first address.
    for (const QString &address : {u"mailto:someone@127.0.0.1"_s, u"irc://127.0.0.1/x"_s}) {
        QTest::addRow("%s typed, answered no", qPrintable(address))
            << QByteArray() << Start::Navigate << address << false << true;
        QTest::addRow("%s typed, answered yes", qPrintable(address))
            << QByteArray() << Start::Navigate << address << true << true;
    }
}

void tst_WebEngineSafety::otherProgramsScheme()
{
    QFETCH(QByteArray, body);
    QFETCH(Start, start);
    QFETCH(QString, address);
    QFETCH(bool, answer);
    QFETCH(bool, asked);

    const QString opened = m_desktop.filePath(u"opened"_s);
    QFile::remove(opened);
    // Offscreen, Qt hands no address to the desktop at all; the question is still
    // asked. The tests' run under a virtual display sees the stand-in program too.
    const bool desktop = QGuiApplication::platformName() == u"xcb"_s;

    const QString path = u"/scheme/"_s + QString::number(qHash(QTest::currentDataTag()));
    m_server.setPage(path, page("Links", body));
    ScriptedEngineDialogs dialogs;
    dialogs.openOutside = answer;
    WebEngineBrowser *browser = makeBrowser(&dialogs);
    if (start != Start::Navigate) {
        browser->Navigate(url(path));
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Links"_s, LoadTimeoutMs);
        QVERIFY(waitUntil([&] { return !browser->Busy() && browser->view()->focusProxy(); }));
    }
    if (start == Start::Script) {
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"tried"_s, LoadTimeoutMs);
    } else {
        if (start == Start::Click) {
            QTest::qWait(500); // the first frame, before the page takes input
            QTest::mouseClick(browser->view()->focusProxy(), Qt::LeftButton, {}, QPoint(50, 50));
        } else {
            browser->Navigate(address);
        }
        QVERIFY(waitUntil([&] { return !dialogs.asked.isEmpty() || QFile::exists(opened); }));
    }
    if (desktop && answer && asked) {
        QVERIFY(waitUntil([&] { return QFile::exists(opened); }));
        QFile file(opened);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), address.toUtf8() + '\n');
    } else {
        QTest::qWait(1500); // the desktop starts its program on its own time
        QVERIFY(!QFile::exists(opened));
    }
    QCOMPARE(dialogs.asked, asked ? QStringList{u"external|"_s + address} : QStringList());
    QCOMPARE(browser->LocationURL(), start == Start::Navigate ? QString() : url(path));
    // Not a navigation of the page: one BeforeNavigate2 at most, from the stopped load.
    QVERIFY(m_logs.value(browser).count(u"Before:"_s + address) <= 1);
}

QTEST_MAIN(tst_WebEngineSafety)
#include "tst_webenginesafety.moc"
