#include "support/testplatform.h"
#include "system/proxychoice.h"
#include "system/settingsstore.h"
#include "windows/internetoptions.h"
#include "windows/startchoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Internet Options: what Delete deletes and says, what OK keeps and applies, and how
// stored values that make no sense read.
class tst_InternetOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void deleteSaysWhatItDeleted_data();
    void deleteSaysWhatItDeleted();
    void visitedPages_data();
    void visitedPages();
    void daysVisitsAreKept_data();
    void daysVisitsAreKept();
    void storedChoicesRoundTrip_data();
    void storedChoicesRoundTrip();
    void manualProxyNeedsAHost();
    void unwritableSettingsToldOnce();
    void startChoiceRoundTrip_data();
    void startChoiceRoundTrip();

private:
    QTemporaryDir m_settingsFolder;
};

void tst_InternetOptions::cleanup()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    QNetworkProxyFactory::setUseSystemConfiguration(false);
}

void tst_InternetOptions::deleteSaysWhatItDeleted_data()
{
    QTest::addColumn<bool>("history");
    QTest::addColumn<bool>("cookies");
    QTest::addColumn<bool>("cache");
    QTest::addColumn<bool>("historyDeletes");
    QTest::addColumn<QStringList>("deleted");
    QTest::addColumn<QString>("said");
    QTest::newRow("all") << true << true << true << true << QStringList{u"cookies"_s, u"cache"_s}
                         << u"Deleted: address history, cookies and site data, cached files."_s;
    QTest::newRow("cache only") << false << false << true << true << QStringList{u"cache"_s}
                                << u"Deleted: cached files."_s;
    QTest::newRow("nothing chosen") << false << false << false << true << QStringList{}
                                    << u"Nothing was chosen to delete."_s;
    QTest::newRow("history cannot be deleted") << true << true << false << false << QStringList{u"cookies"_s}
                                               << u"Deleted: cookies and site data. Could not delete: address history."_s;
    QTest::newRow("history alone cannot be deleted") << true << false << false << false << QStringList{}
                                                     << u"Could not delete: address history."_s;
}

void tst_InternetOptions::deleteSaysWhatItDeleted()
{
    QFETCH(bool, history);
    QFETCH(bool, cookies);
    QFETCH(bool, cache);
    QFETCH(bool, historyDeletes);
    QFETCH(QStringList, deleted);
    QFETCH(QString, said);
    SettingsStore settings(m_settingsFolder.path());
    ScriptedBrowsingData data;
    int historyDeletions = 0;
    InternetOptions options(settings, u"Halvane"_s, data, [&] {
        ++historyDeletions;
        return historyDeletes;
    }, nullptr);
    options.chkHistory->setChecked(history);
    options.chkCookies->setChecked(cookies);
    options.chkCache->setChecked(cache);
    options.cmdDelete->click();
    QCOMPARE(historyDeletions, history ? 1 : 0);
    QCOMPARE(data.deleted, deleted);
    QCOMPARE(options.lblDeleted->text(), said);
    QCOMPARE(options.lblDeleted->textFormat(), Qt::PlainText);
}

void tst_InternetOptions::visitedPages_data()
{
    // Whether a store of visits is there to delete, and whether it can; what Delete says
    // with every choice ticked.
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("deletes");
    QTest::addColumn<QString>("said");
    QTest::newRow("deleted") << true << true
                             << u"Deleted: address history, visited pages, cookies and site data, cached files."_s;
    QTest::newRow("cannot be deleted")
        << true << false
        << u"Deleted: address history, cookies and site data, cached files. Could not delete: visited pages."_s;
    QTest::newRow("nothing to offer") << false << true
                                      << u"Deleted: address history, cookies and site data, cached files."_s;
}

void tst_InternetOptions::visitedPages()
{
    QFETCH(bool, offered);
    QFETCH(bool, deletes);
    QFETCH(QString, said);
    SettingsStore settings(m_settingsFolder.path());
    ScriptedBrowsingData data;
    int deletions = 0;
    std::function<bool()> deleteVisits;
    if (offered)
        deleteVisits = [&] {
            ++deletions;
            return deletes;
        };
    InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr, deleteVisits);
    options.show();
    QCOMPARE(options.chkVisits->isVisible(), offered);
    options.cmdDelete->click();
    QCOMPARE(deletions, offered ? 1 : 0);
    QCOMPARE(options.lblDeleted->text(), said);
    // Unticked, it is left alone.
    options.chkVisits->setChecked(false);
    options.cmdDelete->click();
    QCOMPARE(deletions, offered ? 1 : 0);
}

void tst_InternetOptions::daysVisitsAreKept_data()
{
    // Stored text; the days shown and read; the days OK keeps after the user's change.
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("changed");
    QTest::newRow("nothing stored: 90") << QString() << 90 << 0;
    QTest::newRow("a month") << u"30"_s << 30 << 0;
    QTest::newRow("changed to a week") << u"30"_s << 30 << 7;
    QTest::newRow("no number") << u"many"_s << 90 << 0;
    QTest::newRow("none") << u"0"_s << 90 << 0;
    QTest::newRow("past a century") << u"36501"_s << 90 << 0;
}

void tst_InternetOptions::daysVisitsAreKept()
{
    QFETCH(QString, stored);
    QFETCH(int, days);
    QFETCH(int, changed);
    QTemporaryDir folder;
    SettingsStore settings(folder.path());
    if (!stored.isNull())
        settings.save(u"Halvane"_s, u"Options"_s, u"KeepVisitsDays"_s, stored);
    QCOMPARE(InternetOptions::keepVisitsDays(settings, u"Halvane"_s), days);
    ScriptedBrowsingData data;
    InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr);
    QCOMPARE(options.spnVisitDays->value(), days);
    if (changed)
        options.spnVisitDays->setValue(changed);
    options.accept();
    QCOMPARE(InternetOptions::keepVisitsDays(settings, u"Halvane"_s), changed ? changed : days);
}

void tst_InternetOptions::storedChoicesRoundTrip_data()
{
    // Stored texts (mode, type, host, port, keep) in; what the dialog shows; what OK
    // stores and the proxy every new connection then gets: a fixed one, or the
    // system's settings (the engine's own handling of them).
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QNetworkProxy>("applied"); // DefaultProxy: the system's settings
    const QNetworkProxy none(QNetworkProxy::NoProxy);
    const QNetworkProxy system(QNetworkProxy::DefaultProxy);
    QTest::newRow("nothing stored") << QStringList{} << int(ProxyChoice::Mode::System) << true
                                    << QStringList{u"system"_s, u"http"_s, u""_s, u"8080"_s, u"1"_s} << system;
    QTest::newRow("no proxy") << QStringList{u"none"_s, u"http"_s, u""_s, u"8080"_s, u"1"_s}
                              << int(ProxyChoice::Mode::None) << true
                              << QStringList{u"none"_s, u"http"_s, u""_s, u"8080"_s, u"1"_s} << none;
    QTest::newRow("manual HTTP")
        << QStringList{u"manual"_s, u"http"_s, u"127.0.0.9"_s, u"3128"_s, u"0"_s} << int(ProxyChoice::Mode::Manual)
        << false << QStringList{u"manual"_s, u"http"_s, u"127.0.0.9"_s, u"3128"_s, u"0"_s}
        << QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.9"_s, 3128);
    QTest::newRow("manual SOCKS")
        << QStringList{u"manual"_s, u"socks"_s, u"proxy.example"_s, u"1080"_s, u"1"_s}
        << int(ProxyChoice::Mode::Manual) << true
        << QStringList{u"manual"_s, u"socks"_s, u"proxy.example"_s, u"1080"_s, u"1"_s}
        << QNetworkProxy(QNetworkProxy::Socks5Proxy, u"proxy.example"_s, 1080);
    QTest::newRow("nonsense reads as the defaults")
        << QStringList{u"sideways"_s, u"ftp"_s, u"h"_s, u"99999"_s, u"maybe"_s} << int(ProxyChoice::Mode::System)
        << true << QStringList{u"system"_s, u"http"_s, u"h"_s, u"8080"_s, u"1"_s} << system;
    QTest::newRow("manual without a host reads as the default")
        << QStringList{u"manual"_s, u"http"_s, u"  "_s, u"3128"_s, u"1"_s} << int(ProxyChoice::Mode::System) << true
        << QStringList{u"system"_s, u"http"_s, u""_s, u"3128"_s, u"1"_s} << system;
}

void tst_InternetOptions::storedChoicesRoundTrip()
{
    QFETCH(QStringList, stored);
    QFETCH(int, mode);
    QFETCH(bool, keep);
    QFETCH(QStringList, saved);
    QFETCH(QNetworkProxy, applied);
    const QStringList keys{u"ProxyMode"_s, u"ProxyType"_s, u"ProxyHost"_s, u"ProxyPort"_s, u"KeepBrowsingData"_s};
    QTemporaryDir folder;
    SettingsStore settings(folder.path());
    for (qsizetype i = 0; i < stored.size(); ++i)
        settings.save(u"Halvane"_s, u"Options"_s, keys[i], stored[i]);
    ScriptedBrowsingData data;
    InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr);
    QCOMPARE(options.optManualProxy->isChecked(), mode == int(ProxyChoice::Mode::Manual));
    QCOMPARE(options.optNoProxy->isChecked(), mode == int(ProxyChoice::Mode::None));
    QCOMPARE(options.optSystemProxy->isChecked(), mode == int(ProxyChoice::Mode::System));
    QCOMPARE(options.txtProxyHost->isEnabled(), mode == int(ProxyChoice::Mode::Manual));
    QCOMPARE(options.chkKeepData->isChecked(), keep);
    QCOMPARE(InternetOptions::keepBrowsingData(settings, u"Halvane"_s), keep);

    options.accept();
    QCOMPARE(options.result(), int(QDialog::Accepted));
    QStringList now;
    for (const QString &key : keys)
        now << settings.get(u"Halvane"_s, u"Options"_s, key, u"?"_s);
    QCOMPARE(now, saved);
    const bool system = applied.type() == QNetworkProxy::DefaultProxy;
    QCOMPARE(QNetworkProxyFactory::usesSystemConfiguration(), system);
    if (!system)
        QCOMPARE(QNetworkProxy::applicationProxy(), applied);
}

void tst_InternetOptions::manualProxyNeedsAHost()
{
    SettingsStore settings(m_settingsFolder.path());
    ScriptedBrowsingData data;
    InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr);
    options.show();
    options.optManualProxy->setChecked(true);
    QVERIFY(options.txtProxyHost->isEnabled());
    QPushButton *ok = nullptr;
    for (QPushButton *b : options.findChildren<QPushButton *>()) {
        if (b->text() == u"OK"_s || b->text() == u"&OK"_s)
            ok = b;
    }
    QVERIFY(ok);
    QVERIFY(!ok->isEnabled());
    QTest::keyClicks(options.txtProxyHost, u"127.0.0.9"_s);
    QVERIFY(ok->isEnabled());
    options.optSystemProxy->setChecked(true);
    options.txtProxyHost->clear();
    QVERIFY(ok->isEnabled());
}

// OK on a settings file that cannot be written (its folder is a file, which stops
// even root): the dialog closes as ever, and the log says so once for all its values.
void tst_InternetOptions::unwritableSettingsToldOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString notAFolder = dir.filePath(u"settings"_s);
    QFile file(notAFolder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QRegularExpression told(u"^Settings were not saved: .*settings/Halvane\\.conf cannot be written\\.$"_s);
    QTest::ignoreMessage(QtWarningMsg, told);
    QTest::failOnWarning(told);
    SettingsStore settings(notAFolder);
    ScriptedBrowsingData data;
    for (int i = 0; i < 2; ++i) {
        InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr);
        options.accept();
        QCOMPARE(options.result(), int(QDialog::Accepted));
    }
}

// "When Halvane starts": the stored word shown, anything else read as the home page, and
// the other choice kept by OK (and not by Cancel).
void tst_InternetOptions::startChoiceRoundTrip_data()
{
    QTest::addColumn<QString>("stored"); // null: nothing stored
    QTest::addColumn<bool>("lastWindows");
    QTest::newRow("nothing stored") << QString() << false;
    QTest::newRow("the home page") << u"homepage"_s << false;
    QTest::newRow("the windows from last time") << u"lastwindows"_s << true;
    QTest::newRow("spaced") << u" lastwindows "_s << true;
    QTest::newRow("nonsense") << u"everything"_s << false;
}

void tst_InternetOptions::startChoiceRoundTrip()
{
    QFETCH(QString, stored);
    QFETCH(bool, lastWindows);
    QTemporaryDir folder;
    SettingsStore settings(folder.path());
    if (!stored.isNull())
        settings.save(u"Halvane"_s, u"Options"_s, u"StartWith"_s, stored);
    const auto read = [&settings] {
        return StartChoice::read(settings, u"Halvane"_s) == StartChoice::Start::LastWindows;
    };
    QCOMPARE(read(), lastWindows);
    ScriptedBrowsingData data;
    for (bool ok : {false, true}) {
        InternetOptions options(settings, u"Halvane"_s, data, [] { return true; }, nullptr);
        QCOMPARE(options.fraStart->optStartLastWindows->isChecked(), lastWindows);
        QCOMPARE(options.fraStart->optStartHomePage->isChecked(), !lastWindows);
        (lastWindows ? options.fraStart->optStartHomePage : options.fraStart->optStartLastWindows)->click();
        ok ? options.accept() : options.reject();
        QCOMPARE(read(), ok ? !lastWindows : lastWindows);
    }
}

QTEST_MAIN(tst_InternetOptions)
#include "tst_internetoptions.moc"
