#include "app/placement.h"

#include <QTest>

// Reading and writing the main window's stored placement.
class tst_Placement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void storedValues_data();
    void storedValues();
    void placementFromTheFourKeys_data();
    void placementFromTheFourKeys();
};

void tst_Placement::text_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1000.0f << QStringLiteral("1000");
    QTest::newRow("negative") << -1005.0f << QStringLiteral("-1005");
    QTest::newRow("fraction") << 987.5f << QStringLiteral("987.5");
    QTest::newRow("large screen") << 115200.0f << QStringLiteral("115200");
}

void tst_Placement::text()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(placement::toText(value), text);
    QCOMPARE(placement::fromText(text, -1, -1e9f, 1e9f), value);
}

void tst_Placement::storedValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("expected");
    QTest::newRow("number") << QStringLiteral("1200") << 1200.0f;
    QTest::newRow("blanks around") << QStringLiteral(" 1200 ") << 1200.0f;
    QTest::newRow("exponent") << QStringLiteral("1.5e3") << 1500.0f;
    QTest::newRow("empty") << QString() << 42.0f;
    QTest::newRow("text") << QStringLiteral("wide") << 42.0f;
    QTest::newRow("number then text") << QStringLiteral("12px") << 42.0f;
    QTest::newRow("nan") << QStringLiteral("nan") << 42.0f;
    QTest::newRow("infinity") << QStringLiteral("inf") << 42.0f;
    QTest::newRow("beyond float") << QStringLiteral("1e40") << 42.0f;
    QTest::newRow("beyond a window") << QStringLiteral("1e30") << 42.0f;
    QTest::newRow("below a window") << QStringLiteral("-1e30") << 42.0f;
}

void tst_Placement::storedValues()
{
    QFETCH(QString, text);
    QFETCH(float, expected);
    QCOMPARE(placement::fromText(text, 42, -1e9f, 1e9f), expected);
}

void tst_Placement::placementFromTheFourKeys_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("defaults") << QStringList{QStringLiteral("1000"), QStringLiteral("1000"),
                                             QStringLiteral("6500"), QStringLiteral("6500")}
                              << QRectF(1000, 1000, 6500, 6500);
    QTest::newRow("positions off screen are kept")
        << QStringList{QStringLiteral("-30000"), QStringLiteral("90000"), QStringLiteral("3000"),
                       QStringLiteral("2000")}
        << QRectF(-30000, 90000, 3000, 2000);
    QTest::newRow("too narrow and too low get defaults")
        << QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1499"),
                       QStringLiteral("749")}
        << QRectF(0, 0, 6500, 6500);
    QTest::newRow("at the minimum") << QStringList{QStringLiteral("0"), QStringLiteral("0"),
                                                   QStringLiteral("1500"), QStringLiteral("750")}
                                    << QRectF(0, 0, 1500, 750);
    QTest::newRow("each garbage value alone")
        << QStringList{QStringLiteral("x"), QStringLiteral("15"), QStringLiteral("nan"),
                       QStringLiteral("3000")}
        << QRectF(1000, 15, 6500, 3000);
    QTest::newRow("zero and negative sizes")
        << QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("0"),
                       QStringLiteral("-5000")}
        << QRectF(1, 2, 6500, 6500);
}

void tst_Placement::placementFromTheFourKeys()
{
    QFETCH(QStringList, texts);
    QFETCH(QRectF, expected);
    QCOMPARE(placement::fromTexts(texts[0], texts[1], texts[2], texts[3], QSize(100, 50)),
             expected);
}

QTEST_GUILESS_MAIN(tst_Placement)
#include "tst_placement.moc"
