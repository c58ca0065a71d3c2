#include "app/frmMain.h"
#include "browser/frmBrowser.h"
#include "support/documentfixture.h"
#include "windows/frmAbout.h"
#include "system/visithistory.h"
#include "windows/frmHelp.h"
#include "windows/frmHistory.h"
#include "windows/frmtool2.h"
#include "windows/internetoptions.h"

#include <QAccessible>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMetaEnum>
#include <QTest>

// What a screen reader gets from each window: every control a user can work has a
// name and a role, and every one that takes the keyboard is reached with Tab.
class tst_Accessibility : public QObject, protected DocumentFixture
{
    Q_OBJECT

private:
    // The window of the row, shown and active, with the keyboard on its first control.
    QWidget *openWindow(const QString &name);
    std::unique_ptr<QWidget> m_window;
    Measurements m_measurements;
    // History's, keeping nothing: the window's controls are what counts.
    VisitHistory m_noVisits{QString(), false, 0};

private Q_SLOTS:
    void init();
    void cleanup();

    void everyControlIsNamedAndReachable_data();
    void everyControlIsNamedAndReachable();
};

namespace {

QString roleName(QAccessible::Role role)
{
    return QLatin1String(QMetaEnum::fromType<QAccessible::Role>().valueToKey(role));
}

// A combo box is named by its text on this platform; what it is for comes from the
// label that names it, which is what a screen reader speaks first.
QString spokenName(QAccessibleInterface *iface)
{
    const auto labels = iface->relations(QAccessible::Label);
    if (!labels.isEmpty() && labels.first().first)
        return labels.first().first->text(QAccessible::Name);
    return iface->text(QAccessible::Name);
}

QString described(QAccessibleInterface *iface)
{
    QString what = roleName(iface->role()) + QLatin1Char(' ') + spokenName(iface);
    if (QObject *o = iface->object(); o && !o->objectName().isEmpty())
        what += QStringLiteral(" (") + o->objectName() + QLatin1Char(')');
    return what.trimmed();
}

bool interactive(QAccessibleInterface *iface)
{
    switch (iface->role()) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::MenuItem:
    case QAccessible::PageTab:
    case QAccessible::Link:
    case QAccessible::ProgressBar:
        return true;
    default:
        return iface->state().focusable;
    }
}

// The controls under iface a user can reach: a menu's items count though the menu is
// not open, a control hidden on purpose (the toolbar's overflow button) does not.
void collect(QAccessibleInterface *iface, QList<QAccessibleInterface *> &out, int depth = 0)
{
    if (!iface || depth > 32)
        return;
    auto *widget = qobject_cast<QWidget *>(iface->object());
    if (widget && widget->isHidden() && !qobject_cast<QMenu *>(widget))
        return;
    if (iface->role() == QAccessible::Separator || iface->role() == QAccessible::ScrollBar)
        return;
    if (depth > 0 && interactive(iface))
        out << iface;
    for (int i = 0; i < iface->childCount(); ++i)
        collect(iface->child(i), out, depth + 1);
}

// Tab keeps within the active child of a document area; the others have rows of their own.
bool inAnotherChild(const QWidget *widget)
{
    for (const QWidget *p = widget; p; p = p->parentWidget()) {
        if (auto *sub = qobject_cast<const QMdiSubWindow *>(p))
            return sub->mdiArea() && sub->mdiArea()->currentSubWindow() != sub;
    }
    return false;
}

} // namespace

void tst_Accessibility::init()
{
    setUp();
}

void tst_Accessibility::cleanup()
{
    m_window.reset();
    tearDown();
}

QWidget *tst_Accessibility::openWindow(const QString &name)
{
    if (name == QLatin1String("frmMain")) {
        m_window = std::make_unique<frmMain>(env->platform);
    } else if (name == QLatin1String("frmBrowser")) {
        frmBrowser *doc = newWindow();
        area->activateWindow();
        if (!QTest::qWaitForWindowActive(area.get()))
            return nullptr;
        doc->cboAddress->setFocus();
        return doc;
    } else if (name == QLatin1String("frmtool2")) {
        m_window = std::make_unique<frmtool2>(m_measurements);
    } else if (name == QLatin1String("frmHelp")) {
        auto *help = new frmHelp(env->platform.folder);
        help->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window.reset(help);
    } else if (name.startsWith(QLatin1String("InternetOptions"))) {
        if (name.endsWith(QLatin1String("Manual"))) {
            env->settings.save(QStringLiteral("Halvane"), QStringLiteral("Options"), QStringLiteral("ProxyMode"),
                               QStringLiteral("manual"));
            env->settings.save(QStringLiteral("Halvane"), QStringLiteral("Options"), QStringLiteral("ProxyHost"),
                               QStringLiteral("127.0.0.9"));
        }
        m_window = std::make_unique<InternetOptions>(env->settings, QStringLiteral("Halvane"), env->browsingData,
                                                     [] { return true; }, nullptr);
    } else if (name == QLatin1String("frmHistory")) {
        m_window = std::make_unique<frmHistory>(m_noVisits);
    } else if (name == QLatin1String("frmAbout")) {
        m_window = std::make_unique<frmAbout>([] { return QStringLiteral("192.0.2.7"); }, nullptr);
    }
    QWidget *w = m_window.get();
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        return nullptr;
    if (!QApplication::focusWidget())
        QTest::keyClick(w, Qt::Key_Tab);
    return w;
}

void tst_Accessibility::everyControlIsNamedAndReachable_data()
{
    QTest::addColumn<QString>("window");
    // What Tab visits from the control that first has the keyboard, in order.
    QTest::addColumn<QStringList>("tabStops");
    // The tools panel is the active child after start-up; Tab keeps within it.
    QTest::newRow("main window")
        << QStringLiteral("frmMain")
        << QStringList{QStringLiteral("EditableText Link Ping (Text1)"),
                       QStringLiteral("CheckBox Enable/Disable (Check1)")};
    QTest::newRow("document window")
        << QStringLiteral("frmBrowser")
        << QStringList{QStringLiteral("ComboBox Address: (cboAddress)"),
                       QStringLiteral("Client Page (brwWebBrowser)")};
    QTest::newRow("tools panel")
        << QStringLiteral("frmtool2")
        << QStringList{QStringLiteral("EditableText Link Ping (Text1)"),
                       QStringLiteral("CheckBox Enable/Disable (Check1)")};
    QTest::newRow("help viewer")
        << QStringLiteral("frmHelp") << QStringList{QStringLiteral("EditableText Help and Info (RichTextBox1)")};
    QTest::newRow("about box")
        << QStringLiteral("frmAbout")
        << QStringList{QStringLiteral("Button OK (cmdOK)"), QStringLiteral("EditableText Your IP address is: (Text1)")};
    // The radio buttons are one stop (arrows move among them); the manual proxy's
    // fields are off until it is chosen.
    QTest::newRow("Internet Options")
        << QStringLiteral("InternetOptions")
        << QStringList{QStringLiteral("RadioButton When Halvane starts (optStartHomePage)"),
                       QStringLiteral("CheckBox Delete browsing data (chkHistory)"),
                       QStringLiteral("CheckBox Delete browsing data (chkCookies)"),
                       QStringLiteral("CheckBox Delete browsing data (chkCache)"),
                       QStringLiteral("Button Delete browsing data (cmdDelete)"),
                       QStringLiteral("CheckBox Keep browsing data between sessions (chkKeepData)"),
                       QStringLiteral("SpinBox Keep visited pages for (spnVisitDays)"),
                       QStringLiteral("RadioButton Proxy (optNoProxy)"), QStringLiteral("Button OK"),
                       QStringLiteral("Button Cancel")};
    QTest::newRow("Internet Options, manual proxy")
        << QStringLiteral("InternetOptionsManual")
        << QStringList{QStringLiteral("RadioButton When Halvane starts (optStartHomePage)"),
                       QStringLiteral("CheckBox Delete browsing data (chkHistory)"),
                       QStringLiteral("CheckBox Delete browsing data (chkCookies)"),
                       QStringLiteral("CheckBox Delete browsing data (chkCache)"),
                       QStringLiteral("Button Delete browsing data (cmdDelete)"),
                       QStringLiteral("CheckBox Keep browsing data between sessions (chkKeepData)"),
                       QStringLiteral("SpinBox Keep visited pages for (spnVisitDays)"),
                       QStringLiteral("RadioButton Proxy (optNoProxy)"), QStringLiteral("ComboBox Type: (cboProxyType)"),
                       QStringLiteral("EditableText Host: (txtProxyHost)"), QStringLiteral("SpinBox Port: (spnProxyPort)"),
                       QStringLiteral("Button OK"), QStringLiteral("Button Cancel")};
    QTest::newRow("History") << QStringLiteral("frmHistory")
                             << QStringList{QStringLiteral("EditableText Search: (txtSearch)"),
                                            QStringLiteral("Tree Visits (tvwVisits)")};
}

void tst_Accessibility::everyControlIsNamedAndReachable()
{
    QFETCH(QString, window);
    QFETCH(QStringList, tabStops);
    QWidget *w = openWindow(window);
    QVERIFY(w);

    QList<QAccessibleInterface *> controls;
    collect(QAccessible::queryAccessibleInterface(w), controls);
    QVERIFY(!controls.isEmpty());
    QStringList unnamed;
    QStringList noRole;
    for (QAccessibleInterface *c : std::as_const(controls)) {
        if (spokenName(c).trimmed().isEmpty())
            unnamed << described(c);
        if (c->role() == QAccessible::NoRole)
            noRole << described(c);
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("; "))));
    QVERIFY2(noRole.isEmpty(), qPrintable(noRole.join(QStringLiteral("; "))));

    // Round the window with Tab, as far as it goes before it comes back.
    QStringList visited;
    QList<QWidget *> reached;
    QWidget *first = QApplication::focusWidget();
    QVERIFY(first);
    for (QWidget *focus = first; focus && reached.size() < 50;) {
        reached << focus;
        visited << described(QAccessible::queryAccessibleInterface(focus));
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        if (focus == first)
            break;
    }
    QCOMPARE(visited, tabStops);

    // Every control that takes the keyboard is among them.
    QStringList missed;
    for (QAccessibleInterface *c : std::as_const(controls)) {
        auto *widget = qobject_cast<QWidget *>(c->object());
        // A window inside the document area is reached with the Window menu, not Tab.
        if (!widget || c->role() == QAccessible::Window || !widget->isVisibleTo(w)
            || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus) || inAnotherChild(widget))
            continue;
        // An edit field inside a combo box hands its focus to the box.
        QWidget *taker = widget->focusProxy() ? widget->focusProxy() : widget;
        if (!reached.contains(taker))
            missed << described(c);
    }
    QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QStringLiteral("; "))));
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
