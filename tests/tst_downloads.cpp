#include "engine/browsingprofile.h"
#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/scriptedenginedialogs.h"
#include "support/testplatform.h"
#include "system/downloadlist.h"
#include "system/downloadlistfile.h"
#include "windows/frmDownloads.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace Qt::StringLiterals;
using namespace enginetesting;

using State = DownloadRecord::State;

// Real downloads from a loopback server, listed by the profile's feed and handled from
// the downloads window with its buttons clicked.
class tst_Downloads : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();

    void fromTheWindow_data();
    void fromTheWindow();

private:
    void serveAs(const QString &path, const QString &how);
    bool runStep(const QString &step, const QString &path, DownloadList &list, frmDownloads &window);

    TemporaryHome m_home;
    QTemporaryDir m_folders;
    LoopbackHttpServer m_server;
    QByteArray m_body;
};

namespace {

const QMap<QString, State> States{{u"running"_s, State::Running},
                                  {u"finished"_s, State::Finished},
                                  {u"failed"_s, State::Failed},
                                  {u"cancelled"_s, State::Cancelled}};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void tst_Downloads::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(m_folders.isValid());
    QVERIFY(m_server.start());
    for (int i = 0; i < 1024 * 1024; ++i)
        m_body += char(i * 7 % 251);
}

void tst_Downloads::fromTheWindow_data()
{
    // "whole", "slow" (64 KiB, then nothing until released), "dropped" (64 KiB, then the
    // connection closed when released, and at once from then on)
    QTest::addColumn<QString>("serve");
    // "wait <state>" until the download is listed so (running: under way), "click <button>"
    // in the window, "release" what the server holds, "serve <how>" from now on.
    QTest::addColumn<QStringList>("steps");
    // What the page's status line said last of it (a retry is no page's).
    QTest::addColumn<QString>("told");
    QTest::newRow("listed and finished, then opened")
        << u"whole"_s << QStringList{u"wait finished"_s, u"click cmdOpen"_s} << u"Saved saved.bin to "_s;
    QTest::newRow("slow, cancelled from the window")
        << u"slow"_s << QStringList{u"wait running"_s, u"click cmdCancel"_s, u"wait cancelled"_s}
        << u"Download of saved.bin cancelled"_s;
    // The engine tries again by itself, five times, each time asking anew for the download.
    QTest::newRow("dropped by the server: failed, retried")
        << u"dropped"_s
        << QStringList{u"wait running"_s, u"release"_s, u"wait failed"_s, u"serve whole"_s, u"click cmdRetry"_s,
                       u"wait finished"_s}
        << u"Download of saved.bin failed: The server closed the connection early"_s;
    QTest::newRow("cancelled, retried")
        << u"slow"_s
        << QStringList{u"wait running"_s, u"click cmdCancel"_s, u"wait cancelled"_s, u"serve whole"_s,
                       u"click cmdRetry"_s, u"wait finished"_s}
        << u"Download of saved.bin cancelled"_s;
}

void tst_Downloads::fromTheWindow()
{
    QFETCH(QString, serve);
    QFETCH(QStringList, steps);
    QFETCH(QString, told);
    const QString path = u"/files/%1/data.bin"_s.arg(qHash(QTest::currentDataTag()));
    m_server.setPage(path, m_body, "application/octet-stream");
    serveAs(path, serve);

    // The profile's folders for the test's whole run: the engine writes there for a while
    // after its profile has gone.
    const QDir folders(m_folders.filePath(QString::number(qHash(QTest::currentDataTag()))));
    QTemporaryDir saveDir;
    QVERIFY(saveDir.isValid());
    const QString saved = saveDir.filePath(u"saved.bin"_s);
    const QString dataFolder = folders.filePath(u"data"_s);
    QList<DownloadRecord> listed;
    {
        BrowsingProfile profile(true, {dataFolder, folders.filePath(u"cache"_s)});
        QVERIFY2(profile.kept(), qPrintable(profile.note()));
        ScriptedEngineDialogs dialogs;
        dialogs.savePath = saved;
        ScriptedLauncher launcher;
        auto browser = std::make_unique<WebEngineBrowser>(nullptr, &dialogs, profile.profile());
        browser->resize(400, 300);
        browser->show();
        QStringList texts;
        connect(browser.get(), &WebBrowser::StatusTextChange, this, [&texts](const QString &text) { texts << text; });
        DownloadList &list = profile.downloads();
        frmDownloads window(list, launcher);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        browser->Navigate(m_server.url(path).toString());
        for (const QString &step : std::as_const(steps))
            QVERIFY2(runStep(step, path, list, window), qPrintable(step));
        QCOMPARE(list.count(), 1);
        const DownloadRecord &r = list.at(0);
        QCOMPARE(r.path, saved);
        QCOMPARE(r.address, m_server.url(path).toString());
        const QString status = window.lstDownloads->model()->index(0, DownloadList::Status).data().toString();
        QCOMPARE(status, DownloadList::statusText(r));
        if (r.state == State::Finished) {
            QCOMPARE(contents(saved), m_body);
            QCOMPARE(r.size, m_body.size());
        } else {
            QVERIFY(!QFile::exists(saved));
        }
        QCOMPARE(launcher.opened, steps.contains(u"click cmdOpen"_s) ? QStringList{QUrl::fromLocalFile(saved).toString()}
                                                                    : QStringList());
        // Asked once where to save it, whatever the engine did after.
        QCOMPARE(dialogs.askedOf(u"save"_s).size(), 1);
        QVERIFY2(!texts.isEmpty() && texts.last().startsWith(told), qPrintable(texts.join(u" | "_s)));
        listed = list.records();
        browser.reset();
        m_server.releaseHeld();
    }
    // Kept in the profile's data folder for the next session.
    const DownloadListFile::Content kept = DownloadListFile::decode(contents(QDir(dataFolder).filePath(u"downloads.json"_s)));
    QVERIFY2(kept.damage.isEmpty(), qPrintable(kept.damage));
    QCOMPARE(kept.records, listed);
}

void tst_Downloads::serveAs(const QString &path, const QString &how)
{
    m_server.setBodyHold(path, how == u"whole"_s ? -1 : 64 * 1024);
    m_server.setBodyCut(path, how == u"dropped"_s ? 64 * 1024 : -1);
}

// One step of a row; false, with the reason in the test's log, when it did not work out.
bool tst_Downloads::runStep(const QString &step, const QString &path, DownloadList &list, frmDownloads &window)
{
    const QString verb = step.section(u' ', 0, 0);
    const QString what = step.section(u' ', 1);
    if (verb == u"serve"_s) {
        serveAs(path, what);
        return true;
    }
    if (verb == u"release"_s) {
        m_server.setBodyHold(path, -1);
        m_server.releaseHeld();
        return true;
    }
    if (verb == u"click"_s) {
        // The download is chosen in the list, and the button is there for it.
        window.lstDownloads->setCurrentIndex(list.index(0, DownloadList::Name));
        auto *button = window.findChild<QPushButton *>(what);
        if (!button || !button->isEnabled())
            return false;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        return true;
    }
    const State wanted = States.value(what);
    const bool done = waitUntil([&] {
        return list.count() == 1 && list.at(0).state == wanted
               && (wanted != State::Running || list.at(0).received > 0);
    });
    if (!done) {
        for (int row = 0; row < list.count(); ++row)
            qWarning("listed: %s; %d requests", qPrintable(DownloadList::statusText(list.at(row))), int(m_server.requests().count(path)));
    }
    // The engine's own words would call it the user's cancel.
    const QString dropped = u"The server closed the connection early"_s;
    if (done && wanted == State::Failed && list.at(0).reason != dropped) {
        qWarning("failed: %s", qPrintable(list.at(0).reason));
        return false;
    }
    return done;
}

QTEST_MAIN(tst_Downloads)
#include "tst_downloads.moc"
