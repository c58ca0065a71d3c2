#include "support/testplatform.h"
#include "system/downloadlist.h"
#include "windows/frmDownloads.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <memory>

using namespace Qt::StringLiterals;

using State = DownloadRecord::State;

// The downloads window over a list with no engine behind it: its buttons, clicked, reach
// the list's requests and the desktop (a scripted launcher) and nothing else.
class tst_FrmDownloads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void buttons_data();
    void buttons();
    void followsTheList();

private:
    // Enabled buttons by name, in the window's order.
    QStringList enabledButtons() const;
    QPushButton *buttonNamed(const QString &name) const;
    void choose(int row);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DownloadList> m_list;
    std::unique_ptr<ScriptedLauncher> m_launcher;
    std::unique_ptr<frmDownloads> m_window;
};

void tst_FrmDownloads::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_list = std::make_unique<DownloadList>();
    m_launcher = std::make_unique<ScriptedLauncher>();
}

void tst_FrmDownloads::cleanup()
{
    m_window.reset();
    m_list.reset();
    m_launcher.reset();
    m_dir.reset();
}

QStringList tst_FrmDownloads::enabledButtons() const
{
    QStringList names;
    for (QPushButton *b : {m_window->cmdCancel, m_window->cmdOpen, m_window->cmdShowInFolder, m_window->cmdRetry,
                           m_window->cmdRemove}) {
        if (b->isEnabled())
            names << b->objectName();
    }
    return names;
}

QPushButton *tst_FrmDownloads::buttonNamed(const QString &name) const
{
    return m_window->findChild<QPushButton *>(name);
}

void tst_FrmDownloads::choose(int row)
{
    QTreeView *view = m_window->lstDownloads;
    const QRect cell = view->visualRect(m_list->index(row, DownloadList::Name));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(m_window->currentRow(), row);
}

void tst_FrmDownloads::buttons_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("addressKept");
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("desktopFails");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QString>("click");
    // What the click did: "cancel" or "retry" asked of the list, "file" or "folder" given to the
    // desktop, "removed", or "said: <text>" in the window.
    QTest::addColumn<QString>("outcome");
    const int running = int(State::Running), finished = int(State::Finished), failed = int(State::Failed),
              cancelled = int(State::Cancelled);
    const QStringList done{u"cmdOpen"_s, u"cmdShowInFolder"_s, u"cmdRemove"_s};
    const QStringList again{u"cmdRetry"_s, u"cmdRemove"_s};
    QTest::newRow("running: cancel") << running << true << true << false << QStringList{u"cmdCancel"_s}
                                     << u"cmdCancel"_s << u"cancel"_s;
    QTest::newRow("finished: open") << finished << true << true << false << done << u"cmdOpen"_s << u"file"_s;
    QTest::newRow("finished: show in folder") << finished << true << true << false << done << u"cmdShowInFolder"_s
                                              << u"folder"_s;
    QTest::newRow("finished: remove") << finished << true << true << false << done << u"cmdRemove"_s << u"removed"_s;
    QTest::newRow("finished, file gone: open") << finished << true << false << false << done << u"cmdOpen"_s
                                               << u"said: is no longer there"_s;
    QTest::newRow("finished, the desktop cannot: open") << finished << true << true << true << done << u"cmdOpen"_s
                                                        << u"said: The desktop could not open"_s;
    QTest::newRow("failed: retry") << failed << true << false << false << again << u"cmdRetry"_s << u"retry"_s;
    QTest::newRow("failed: remove") << failed << true << false << false << again << u"cmdRemove"_s << u"removed"_s;
    QTest::newRow("cancelled: retry") << cancelled << true << false << false << again << u"cmdRetry"_s << u"retry"_s;
    QTest::newRow("failed, address not kept: remove only")
        << failed << false << false << false << QStringList{u"cmdRemove"_s} << u"cmdRemove"_s << u"removed"_s;
}

void tst_FrmDownloads::buttons()
{
    QFETCH(int, state);
    QFETCH(bool, addressKept);
    QFETCH(bool, fileThere);
    QFETCH(bool, desktopFails);
    QFETCH(QStringList, enabled);
    QFETCH(QString, click);
    QFETCH(QString, outcome);

    const QString file = m_dir->filePath(u"chosen.bin"_s);
    if (fileThere) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString address = addressKept ? u"http://127.0.0.1/chosen.bin"_s : QString(DownloadRecord::MaxAddressChars + 1, u'a');
    const quint64 id = m_list->add(address, file);
    if (state != int(State::Running))
        m_list->end(id, State(state), u"Network error"_s);
    // A newer one on top: the buttons act on the one chosen.
    m_list->add(u"http://127.0.0.1/newer"_s, m_dir->filePath(u"newer.bin"_s));
    if (desktopFails)
        m_launcher->failure = u"no desktop"_s;

    m_window = std::make_unique<frmDownloads>(*m_list, *m_launcher);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->currentRow(), 0);
    QCOMPARE(enabledButtons(), QStringList{u"cmdCancel"_s});
    choose(1);
    QCOMPARE(enabledButtons(), enabled);

    QSignalSpy cancels(m_list.get(), &DownloadList::cancelRequested);
    QSignalSpy retries(m_list.get(), &DownloadList::retryRequested);
    // Nothing reaches the desktop before the click.
    QVERIFY(m_launcher->opened.isEmpty());
    QPushButton *button = buttonNamed(click);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());

    const QStringList opened = m_launcher->opened;
    m_launcher->opened.clear();
    if (outcome == u"cancel"_s || outcome == u"retry"_s) {
        QSignalSpy &spy = outcome == u"cancel"_s ? cancels : retries;
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().value<quint64>(), id);
    } else if (outcome == u"file"_s || outcome == u"folder"_s) {
        const QString expected = outcome == u"file"_s ? file : m_dir->path();
        QCOMPARE(opened, QStringList{QUrl::fromLocalFile(expected).toString()});
    } else if (outcome == u"removed"_s) {
        QCOMPARE(m_list->count(), 1);
        QCOMPARE(m_list->rowOf(id), -1);
    } else {
        QVERIFY2(m_window->lblMessage->text().contains(outcome.mid(6)), qPrintable(m_window->lblMessage->text()));
    }
    if (!outcome.startsWith(u"said"_s))
        QVERIFY(m_window->lblMessage->text().isEmpty());
    if (outcome != u"file"_s && outcome != u"folder"_s && !desktopFails)
        QVERIFY(opened.isEmpty());
    if (outcome != u"cancel"_s)
        QCOMPARE(cancels.size(), 0);
    if (outcome != u"retry"_s)
        QCOMPARE(retries.size(), 0);
}

// The buttons follow the chosen download as it changes, and stay with it as newer ones
// come and others go.
void tst_FrmDownloads::followsTheList()
{
    m_window = std::make_unique<frmDownloads>(*m_list, *m_launcher);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->currentRow(), -1);
    QCOMPARE(enabledButtons(), QStringList());
    // The first to come is chosen.
    const quint64 first = m_list->add(u"http://127.0.0.1/a"_s, m_dir->filePath(u"a.bin"_s));
    QCOMPARE(m_window->currentRow(), 0);
    QCOMPARE(enabledButtons(), QStringList{u"cmdCancel"_s});
    const quint64 second = m_list->add(u"http://127.0.0.1/b"_s, m_dir->filePath(u"b.bin"_s));
    m_list->end(second, State::Cancelled);
    QCOMPARE(m_list->idAt(m_window->currentRow()), first);

    m_list->setProgress(first, 500, 1000);
    QCOMPARE(m_window->lstDownloads->model()->index(1, DownloadList::Status).data().toString(), u"50% of 1.0 kB"_s);
    m_list->end(first, State::Finished);
    QCOMPARE(enabledButtons(), (QStringList{u"cmdOpen"_s, u"cmdShowInFolder"_s, u"cmdRemove"_s}));

    m_list->add(u"http://127.0.0.1/c"_s, m_dir->filePath(u"c.bin"_s));
    QCOMPARE(m_window->currentRow(), 2);
    QCOMPARE(m_list->idAt(m_window->currentRow()), first);
    m_list->restart(first);
    QCOMPARE(enabledButtons(), QStringList{u"cmdCancel"_s});
    // Removed with the Delete key: another is chosen, and the buttons are its.
    m_list->end(first, State::Failed, u"Network error"_s);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->lstDownloads->setFocus();
    QTest::keyClick(m_window->lstDownloads, Qt::Key_Delete);
    QCOMPARE(m_list->rowOf(first), -1);
    QCOMPARE(m_list->count(), 2);
    const bool running = m_list->at(m_window->currentRow()).state == State::Running;
    QCOMPARE(m_window->cmdCancel->isEnabled(), running);
    QCOMPARE(m_window->cmdRemove->isEnabled(), !running);
}

QTEST_MAIN(tst_FrmDownloads)
#include "tst_frmdownloads.moc"
