#include "shared/measurements.h"
#include "windows/frmtool2.h"
#include "windows/toolspanelinstance.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

// The tools panel's switch and its one-instance life in the document area.
class tst_FrmTool2 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QMdiArea> area;
    Measurements measurements;
    std::unique_ptr<ToolsPanelInstance> tools;

    static void expectInitialFields(frmtool2 *p);

private Q_SLOTS:
    void init();
    void cleanup();

    void clicksToggleTheSwitch();
    void loadPlacesThePanel();
    void panelStartsInView_data();
    void panelStartsInView();
    void closedPanelComesBackFreshAndKeepsTheSwitch();
    void hidingKeepsTheFields();
    void tabOrderReachesOnlyTheBoxAndTheSwitch();
};

void tst_FrmTool2::expectInitialFields(frmtool2 *p)
{
    // The fields show what the network says: never as markup.
    for (QLabel *l : {p->Label1, p->Label2, p->Label3, p->lblLoad}) {
        QCOMPARE(l->text(), QString());
        QCOMPARE(l->textFormat(), Qt::PlainText);
    }
    QCOMPARE(p->Text1->text(), QString());
    QVERIFY(p->Text1->isEnabled());
}

void tst_FrmTool2::init()
{
    // The panel reads and writes only the switch; the counts are the windows'.
    measurements.LinkPingEnabled = false;
    area = std::make_unique<QMdiArea>();
    area->resize(1000, 800);
    area->show();
    tools = std::make_unique<ToolsPanelInstance>(area.get(), measurements);
}

void tst_FrmTool2::cleanup()
{
    tools.reset();
    area.reset();
}

void tst_FrmTool2::clicksToggleTheSwitch()
{
    frmtool2 *p = tools->get();
    expectInitialFields(p);
    QVERIFY(!p->Check1->isChecked());

    QTest::mouseClick(p->Check1, Qt::LeftButton);
    QVERIFY(measurements.LinkPingEnabled);
    QCOMPARE(p->Text1->text(), QStringLiteral("Enabled..."));
    QVERIFY(p->Text1->isEnabled());
    QVERIFY(p->Check1->isChecked());

    QTest::mouseClick(p->Check1, Qt::LeftButton);
    QVERIFY(!measurements.LinkPingEnabled);
    QCOMPARE(p->Text1->text(), QStringLiteral("DISABLED"));
    QVERIFY(!p->Text1->isEnabled());
    QVERIFY(!p->Check1->isChecked());

    // The keyboard reaches the same handler.
    p->Check1->setFocus();
    QTest::keyClick(p->Check1, Qt::Key_Space);
    QVERIFY(measurements.LinkPingEnabled);
    QVERIFY(p->Check1->isChecked());
}

void tst_FrmTool2::loadPlacesThePanel()
{
    tools->get();
    QMdiSubWindow *sub = tools->subWindow();
    QVERIFY(sub->isVisible());
    QCOMPARE(sub->geometry(), QRect(0, 533, 412, 126));
    QCOMPARE(sub->windowTitle(), QStringLiteral("HalvaneTools"));
    QVERIFY(sub->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(sub->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

// The design place (0, 533, 412 by 126) in a document area whose view is the size given;
// then the area takes its second size (0 by 0: it keeps the first).
void tst_FrmTool2::panelStartsInView_data()
{
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QRect>("expected");
    QTest::addColumn<QSize>("later");
    QTest::addColumn<QRect>("thenExpected");
    QTest::addColumn<bool>("movedByUser"); // before the second size
    QTest::newRow("room for the design place") << QSize(1000, 800) << QRect(0, 533, 412, 126) << QSize()
                                               << QRect() << false;
    QTest::newRow("just room") << QSize(412, 659) << QRect(0, 533, 412, 126) << QSize() << QRect() << false;
    // A maximized window at twice the scale on 1600 by 1200.
    QTest::newRow("too low: moved up") << QSize(800, 500) << QRect(0, 374, 412, 126) << QSize() << QRect() << false;
    QTest::newRow("narrower than the panel") << QSize(300, 200) << QRect(0, 74, 412, 126) << QSize()
                                             << QRect() << false;
    QTest::newRow("lower than the panel: its caption in view") << QSize(300, 100) << QRect(0, 0, 412, 126)
                                                               << QSize() << QRect() << false;
    // Restored small, then maximized: the design place once it is in view.
    QTest::newRow("the area grows") << QSize(433, 300) << QRect(0, 174, 412, 126) << QSize(1000, 800)
                                    << QRect(0, 533, 412, 126) << false;
    QTest::newRow("the area shrinks") << QSize(1000, 800) << QRect(0, 533, 412, 126) << QSize(600, 400)
                                      << QRect(0, 274, 412, 126) << false;
    QTest::newRow("moved by the user: stays") << QSize(1000, 800) << QRect(0, 533, 412, 126) << QSize(600, 400)
                                              << QRect(300, 10, 412, 126) << true;
}

void tst_FrmTool2::panelStartsInView()
{
    QFETCH(QSize, view);
    QFETCH(QRect, expected);
    QFETCH(QSize, later);
    QFETCH(QRect, thenExpected);
    QFETCH(bool, movedByUser);
    area->setFrameShape(QFrame::NoFrame);
    area->resize(view);
    QCOMPARE(area->viewport()->size(), view);
    tools->get();
    QMdiSubWindow *sub = tools->subWindow();
    QCOMPARE(sub->geometry(), expected);
    if (later.isEmpty())
        return;
    if (movedByUser)
        sub->move(300, 10);
    area->resize(later);
    QTRY_COMPARE(sub->geometry(), thenExpected);
}

void tst_FrmTool2::closedPanelComesBackFreshAndKeepsTheSwitch()
{
    QSignalSpy closed(tools.get(), &ToolsPanelInstance::panelClosed);
    QSignalSpy loaded(tools.get(), &ToolsPanelInstance::panelLoaded);
    frmtool2 *p = tools->get();
    p->Check1_Click();
    p->Label2->setText(QStringLiteral("12/ms"));
    tools->subWindow()->move(300, 10);

    tools->subWindow()->close();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(tools->loaded(), nullptr);
    QVERIFY(measurements.LinkPingEnabled);

    frmtool2 *again = tools->get();
    QCOMPARE(loaded.count(), 2);
    expectInitialFields(again);
    QCOMPARE(tools->subWindow()->geometry(), QRect(0, 533, 412, 126));
    // It shows link ping as it is, so the next click turns it off.
    QVERIFY(again->Check1->isChecked());
    QTest::mouseClick(again->Check1, Qt::LeftButton);
    QVERIFY(!measurements.LinkPingEnabled);
    QVERIFY(!again->Check1->isChecked());
}

void tst_FrmTool2::hidingKeepsTheFields()
{
    frmtool2 *p = tools->get();
    p->Check1_Click();
    tools->hide();
    QVERIFY(!tools->subWindow()->isVisible());
    QCOMPARE(tools->get(), p);
    QVERIFY(!tools->subWindow()->isVisible());
    tools->show();
    QVERIFY(tools->subWindow()->isVisible());
    QCOMPARE(area->currentSubWindow(), tools->subWindow());
    QCOMPARE(p->Text1->text(), QStringLiteral("Enabled..."));
}

void tst_FrmTool2::tabOrderReachesOnlyTheBoxAndTheSwitch()
{
    frmtool2 *p = tools->get();
    QWidget *next = p->Text1->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) {
        next = next->nextInFocusChain();
    }
    QCOMPARE(next, p->Check1);
    for (QLabel *l : {p->Label1, p->Label2, p->Label3, p->lblLoad})
        QCOMPARE(l->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(tst_FrmTool2)
#include "tst_frmtool2.moc"
