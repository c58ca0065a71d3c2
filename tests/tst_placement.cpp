#include "app/placement.h"

#include <QList>
#include <QRect>
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
    void titleBarStaysOnAScreen_data();
    void titleBarStaysOnAScreen();
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

// Screens' available areas and a stored outer placement in; where the restored window
// goes out. The title bar is the top 24 pixels.
void tst_Placement::titleBarStaysOnAScreen_data()
{
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("outer");
    QTest::addColumn<QRect>("expected");
    const QList<QRect> one{QRect(0, 0, 1280, 1024)};
    // Side by side, the right one taller and starting lower.
    const QList<QRect> two{QRect(0, 0, 1280, 1024), QRect(1280, 200, 1920, 1080)};
    QTest::newRow("within the screen") << one << QRect(150, 120, 700, 500) << QRect(150, 120, 700, 500);
    QTest::newRow("whole screen") << one << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1280, 1024);
    QTest::newRow("below hangs off, the title bar is on") << one << QRect(100, 1000, 700, 500)
                                                         << QRect(100, 1000, 700, 500);
    QTest::newRow("title bar a pixel too far right") << one << QRect(581, 100, 700, 500)
                                                     << QRect(580, 100, 700, 500);
    QTest::newRow("left hangs off") << one << QRect(-300, 100, 700, 500) << QRect(0, 100, 700, 500);
    QTest::newRow("title bar a pixel too low") << one << QRect(100, 1001, 700, 500) << QRect(100, 524, 700, 500);
    QTest::newRow("title bar above the top") << one << QRect(100, -5, 700, 500) << QRect(100, 0, 700, 500);
    QTest::newRow("far off, larger than the screen")
        << one << QRect(-13333333, 13333333, 2000, 1500) << QRect(0, 0, 1280, 1024);
    QTest::newRow("far off left and below") << one << QRect(-13333333, 13333333, 433, 433)
                                            << QRect(0, 591, 433, 433);
    QTest::newRow("across two screens") << two << QRect(1000, 300, 700, 500) << QRect(1000, 300, 700, 500);
    QTest::newRow("on the second screen") << two << QRect(2500, 900, 700, 500) << QRect(2500, 900, 700, 500);
    QTest::newRow("above the taller screen, beside the other")
        << two << QRect(2000, 50, 700, 500) << QRect(2000, 200, 700, 500);
    QTest::newRow("right of the second: onto it") << two << QRect(5000, 600, 700, 500)
                                                  << QRect(2500, 600, 700, 500);
    QTest::newRow("below the first: onto it") << two << QRect(100, 1100, 700, 500) << QRect(100, 524, 700, 500);
    QTest::newRow("higher than the nearest screen") << two << QRect(3300, 0, 900, 1500)
                                                    << QRect(2300, 200, 900, 1080);
    QTest::newRow("no screen known") << QList<QRect>{} << QRect(-13333333, 13333333, 433, 433)
                                     << QRect(-13333333, 13333333, 433, 433);
}

void tst_Placement::titleBarStaysOnAScreen()
{
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, outer);
    QFETCH(QRect, expected);
    QCOMPARE(placement::onScreens(outer, screens, 24), expected);
}

QTEST_GUILESS_MAIN(tst_Placement)
#include "tst_placement.moc"
