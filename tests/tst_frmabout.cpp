#include "windows/frmAbout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The about box: its version line, the address read at each opening, OK on Enter and Esc.
class tst_FrmAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionLine_data();
    void versionLine();
    void loadFillsTheFields();
    void okClosesOnEnterAndEscape_data();
    void okClosesOnEnterAndEscape();
};

void tst_FrmAbout::versionLine_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("line");
    QTest::newRow("this program") << 1 << 0 << 2 << QStringLiteral("Version 1.0.2");
    QTest::newRow("several digits") << 1 << 0 << 12 << QStringLiteral("Version 1.0.12");
    QTest::newRow("no leading zeros") << 10 << 5 << 300 << QStringLiteral("Version 10.5.300");
}

void tst_FrmAbout::versionLine()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, line);
    QCOMPARE(frmAbout::versionLine(major, minor, revision), line);
}

void tst_FrmAbout::loadFillsTheFields()
{
    int asked = 0;
    frmAbout box([&asked] { return QStringLiteral("192.0.2.%1").arg(++asked); }, nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("About Halvane"));
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Version 1.0.2"));
    QCOMPARE(box.lblTitle->text(), QStringLiteral("Halvane"));
    QCOMPARE(box.Text1->text(), QStringLiteral("192.0.2.1"));
    // A new opening reads the address again.
    frmAbout again([&asked] { return QStringLiteral("192.0.2.%1").arg(++asked); }, nullptr);
    QCOMPARE(again.Text1->text(), QStringLiteral("192.0.2.2"));
}

void tst_FrmAbout::okClosesOnEnterAndEscape_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void tst_FrmAbout::okClosesOnEnterAndEscape()
{
    QFETCH(int, key);
    frmAbout box([] { return QStringLiteral("127.0.0.1"); }, nullptr);
    bool focusOnOk = false;
    QTimer::singleShot(0, &box, [&] {
        focusOnOk = box.focusWidget() == box.cmdOK;
        QTest::keyClick(&box, Qt::Key(key));
    });
    QTimer::singleShot(5000, &box, [&box] { box.done(-1); }); // never hang the run
    const int result = box.exec();
    QVERIFY(focusOnOk);
    QVERIFY(result != -1);
}

QTEST_MAIN(tst_FrmAbout)
#include "tst_frmabout.moc"
