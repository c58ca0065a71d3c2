#include "app/commandline.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void argumentsToAddresses_data();
    void argumentsToAddresses();
    void programEndsAtOnce_data();
    void programEndsAtOnce();
};

// "%DIR%" in an expected address stands for the working folder's file:// address.
void tst_CommandLine::argumentsToAddresses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("refusals");
    QTest::addColumn<bool>("exit");
    QTest::addColumn<int>("status");

    const QStringList none;
    QTest::newRow("nothing: the usual start") << none << none << 0 << false << 0;
    QTest::newRow("two addresses, in order")
        << QStringList{QStringLiteral("http://127.0.0.1:8080/a"), QStringLiteral("https://example.org/b")}
        << QStringList{QStringLiteral("http://127.0.0.1:8080/a"), QStringLiteral("https://example.org/b")} << 0
        << false << 0;
    QTest::newRow("a word goes as typed")
        << QStringList{QStringLiteral("marrowdyne.com")} << QStringList{QStringLiteral("marrowdyne.com")} << 0
        << false << 0;
    QTest::newRow("an existing file, relative")
        << QStringList{QStringLiteral("page.html")} << QStringList{QStringLiteral("%DIR%/page.html")} << 0 << false
        << 0;
    QTest::newRow("an existing file in a subfolder, with a space")
        << QStringList{QStringLiteral("sub/my page.html")} << QStringList{QStringLiteral("%DIR%/sub/my%20page.html")}
        << 0 << false << 0;
    QTest::newRow("a file whose name reads as a fragment")
        << QStringList{QStringLiteral("a#b.html")} << QStringList{QStringLiteral("%DIR%/a%23b.html")} << 0 << false
        << 0;
    QTest::newRow("a missing file goes as typed")
        << QStringList{QStringLiteral("missing.html")} << QStringList{QStringLiteral("missing.html")} << 0 << false
        << 0;
    QTest::newRow("javascript refused, the rest open")
        << QStringList{QStringLiteral("javascript:alert(1)"), QStringLiteral("http://127.0.0.1/x")}
        << QStringList{QStringLiteral("http://127.0.0.1/x")} << 1 << false << 0;
    QTest::newRow("data and JavaScript in any case, leading spaces")
        << QStringList{QStringLiteral("  DATA:text/html,<b>x</b>"), QStringLiteral("\tJavaScript:void(0)")} << none
        << 2 << false << 0;
    QTest::newRow("a file named like a data address is still refused")
        << QStringList{QStringLiteral("data:page")} << none << 1 << false << 0;
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << none << 0 << true << 0;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << none << 0 << true << 0;
    QTest::newRow("a bad option")
        << QStringList{QStringLiteral("--frobnicate"), QStringLiteral("http://127.0.0.1/")} << none << 0 << true << 2;
    QTest::newRow("Qt's own options are Qt's")
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("-reverse"),
                       QStringLiteral("http://127.0.0.1/")}
        << QStringList{QStringLiteral("http://127.0.0.1/")} << 0 << false << 0;
    QTest::newRow("the engine's switches after --webEngineArgs are the engine's")
        << QStringList{QStringLiteral("http://127.0.0.1/"), QStringLiteral("--webEngineArgs"),
                       QStringLiteral("--proxy-server=127.0.0.1:3128")}
        << QStringList{QStringLiteral("http://127.0.0.1/")} << 0 << false << 0;
    QTest::newRow("after --, an option-like word is an address")
        << QStringList{QStringLiteral("--"), QStringLiteral("-x")} << QStringList{QStringLiteral("-x")} << 0 << false
        << 0;
}

void tst_CommandLine::argumentsToAddresses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, addresses);
    QFETCH(int, refusals);
    QFETCH(bool, exit);
    QFETCH(int, status);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    for (const char *name : {"page.html", "sub/my page.html", "a#b.html", "data:page"}) {
        QFile f(QDir(folder.path()).filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString dir = QUrl::fromLocalFile(QDir(folder.path()).absolutePath()).toString(QUrl::FullyEncoded);
    addresses.replaceInStrings(QStringLiteral("%DIR%"), dir);

    const commandline::Outcome outcome =
        commandline::read(QStringList{QStringLiteral("halvane")} + arguments, folder.path(), QStringLiteral("7.8.9"));
    QCOMPARE(outcome.addresses, addresses);
    QCOMPARE(outcome.exit, exit);
    QCOMPARE(outcome.exitStatus, status);
    if (status == 2) {
        // One line saying what was wrong, then the usage.
        QVERIFY(outcome.errors.startsWith(QStringLiteral("halvane: ")));
        QVERIFY(outcome.errors.section(QLatin1Char('\n'), 0, 0).contains(QStringLiteral("frobnicate")));
        QVERIFY(outcome.errors.section(QLatin1Char('\n'), 1, 1).startsWith(QStringLiteral("Usage: halvane")));
    } else {
        QCOMPARE(outcome.errors.count(QLatin1Char('\n')), refusals);
    }
    if (arguments == QStringList{QStringLiteral("--version")})
        QCOMPARE(outcome.output, QStringLiteral("Halvane 7.8.9\n"));
    if (arguments == QStringList{QStringLiteral("--help")})
        QVERIFY(outcome.output.startsWith(QStringLiteral("Usage: halvane [options] [ADDRESS|FILE]...")));
}

// The built program, on a display platform that does not exist and without the engine's
// sandbox switch: ending with the expected status shows neither a display nor the engine
// was asked for.
void tst_CommandLine::programEndsAtOnce_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errors");

    QTest::newRow("--version") << QStringLiteral("--version") << 0 << QStringLiteral("Halvane 1.0.2\n") << QString();
    QTest::newRow("--help") << QStringLiteral("--help") << 0 << QStringLiteral("Usage: halvane") << QString();
    QTest::newRow("bad option") << QStringLiteral("--frobnicate") << 2 << QString()
                                << QStringLiteral("halvane: Unknown option 'frobnicate'.\nUsage: halvane");
}

void tst_CommandLine::programEndsAtOnce()
{
    QFETCH(QString, argument);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, errors);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
    env.remove(QStringLiteral("DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(HALVANE_EXE), {argument});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    if (output.isEmpty())
        QVERIFY2(out.isEmpty(), qPrintable(out));
    else
        QVERIFY2(out.startsWith(output), qPrintable(out));
    if (errors.isEmpty())
        QVERIFY2(err.isEmpty(), qPrintable(err));
    else
        QVERIFY2(err.startsWith(errors), qPrintable(err));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
