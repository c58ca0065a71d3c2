#include "app/arrangement.h"

#include <QTest>

// The Window menu's tilings and icon arrangement.
class tst_Arrangement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tiles_data();
    void tiles();
    void icons_data();
    void icons();
};

void tst_Arrangement::tiles_data()
{
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<int>("count");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QList<QRect>>("expected");
    const QRect area(0, 0, 300, 200);
    QTest::newRow("none") << true << 0 << area << QList<QRect>{};
    QTest::newRow("one fills the area") << true << 1 << area << QList<QRect>{area};
    QTest::newRow("stacked") << true << 2 << area
                             << QList<QRect>{{0, 0, 300, 100}, {0, 100, 300, 100}};
    QTest::newRow("stacked, spare pixels to the first")
        << true << 3 << QRect(10, 20, 300, 200)
        << QList<QRect>{{10, 20, 300, 67}, {10, 87, 300, 67}, {10, 154, 300, 66}};
    QTest::newRow("side by side") << false << 2 << area
                                  << QList<QRect>{{0, 0, 150, 200}, {150, 0, 150, 200}};
    QTest::newRow("side by side, uneven")
        << false << 4 << QRect(0, 0, 302, 100)
        << QList<QRect>{{0, 0, 76, 100}, {76, 0, 76, 100}, {152, 0, 75, 100}, {227, 0, 75, 100}};
    QTest::newRow("more windows than pixels")
        << false << 3 << QRect(0, 0, 2, 10)
        << QList<QRect>{{0, 0, 1, 10}, {1, 0, 1, 10}, {2, 0, 0, 10}};
}

void tst_Arrangement::tiles()
{
    QFETCH(bool, horizontal);
    QFETCH(int, count);
    QFETCH(QRect, area);
    QFETCH(QList<QRect>, expected);
    const QList<QRect> got = horizontal ? arrangement::tileHorizontal(count, area)
                                        : arrangement::tileVertical(count, area);
    QCOMPARE(got, expected);
}

void tst_Arrangement::icons_data()
{
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::addColumn<QList<QRect>>("expected");
    QTest::newRow("none") << QList<QSize>{} << QList<QRect>{};
    QTest::newRow("along the bottom")
        << QList<QSize>{{100, 20}, {100, 20}}
        << QList<QRect>{{0, 180, 100, 20}, {100, 180, 100, 20}};
    QTest::newRow("a full row starts another above")
        << QList<QSize>{{100, 20}, {100, 20}, {100, 20}, {100, 20}}
        << QList<QRect>{{0, 180, 100, 20}, {100, 180, 100, 20}, {200, 180, 100, 20},
                        {0, 160, 100, 20}};
    QTest::newRow("wider than the area still placed")
        << QList<QSize>{{400, 20}, {50, 20}}
        << QList<QRect>{{0, 180, 400, 20}, {0, 160, 50, 20}};
}

void tst_Arrangement::icons()
{
    QFETCH(QList<QSize>, sizes);
    QFETCH(QList<QRect>, expected);
    QCOMPARE(arrangement::arrangeIcons(sizes, QRect(0, 0, 300, 200)), expected);
}

QTEST_GUILESS_MAIN(tst_Arrangement)
#include "tst_arrangement.moc"
