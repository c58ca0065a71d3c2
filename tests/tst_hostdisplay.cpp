#include "system/hostdisplay.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Which host names are shown in their own letters and which in xn-- form, as a host,
// inside an address, and in a caption that is the address.
class tst_HostDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shownHost_data();
    void shownHost();
    void addressText_data();
    void addressText();
    void captionText_data();
    void captionText();
    void hoveredLinkText_data();
    void hoveredLinkText();
};

void tst_HostDisplay::shownHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Cyrillic look-alike of a Latin name") << u"xn--80ak6aa92e.com"_s << u"xn--80ak6aa92e.com"_s;
    QTest::newRow("the same look-alike given in its letters") << u"аррӏе.com"_s << u"xn--80ak6aa92e.com"_s;
    QTest::newRow("the same look-alike under a Cyrillic country") << u"xn--80ak6aa92e.ru"_s << u"xn--80ak6aa92e.ru"_s;
    QTest::newRow("Latin and Cyrillic mixed") << u"xn--pypal-4ve.com"_s << u"xn--pypal-4ve.com"_s;
    QTest::newRow("Latin letters, Devanagari digits") << u"xn--abc-tphf.com"_s << u"xn--abc-tphf.com"_s;
    QTest::newRow("German") << u"xn--bcher-kva.de"_s << u"bücher.de"_s;
    QTest::newRow("German given in its letters") << u"bücher.de"_s << u"bücher.de"_s;
    QTest::newRow("Greek") << u"xn--hxargifdar.gr"_s << u"ελληνικά.gr"_s;
    QTest::newRow("Japanese") << u"xn--r8jz45g.jp"_s << u"例え.jp"_s;
    QTest::newRow("Cyrillic that reads as no Latin name") << u"xn--e1afmkfd.xn--p1ai"_s << u"пример.рф"_s;
    QTest::newRow("one label failing keeps all of it") << u"xn--bcher-kva.xn--80ak6aa92e.com"_s
                                                       << u"xn--bcher-kva.xn--80ak6aa92e.com"_s;
    QTest::newRow("not a sound xn-- label") << u"xn--a.com"_s << u"xn--a.com"_s;
    QTest::newRow("ASCII") << u"h.test"_s << u"h.test"_s;
    QTest::newRow("address") << u"127.0.0.1"_s << u"127.0.0.1"_s;
    QTest::newRow("empty") << QString() << QString();
}

void tst_HostDisplay::shownHost()
{
    QFETCH(QString, host);
    QFETCH(QString, shown);
    QCOMPARE(hostdisplay::shown(host), shown);
}

void tst_HostDisplay::addressText_data()
{
    QTest::addColumn<QByteArray>("address"); // as the request has it
    QTest::addColumn<QString>("text");
    QTest::newRow("look-alike") << QByteArray("http://xn--80ak6aa92e.com/") << u"http://xn--80ak6aa92e.com/"_s;
    QTest::newRow("look-alike with all the parts")
        << QByteArray("https://me@xn--80ak6aa92e.com:8080/p%C3%A4th%20x?q=%C3%A4#f")
        << u"https://me@xn--80ak6aa92e.com:8080/päth%20x?q=ä#f"_s;
    QTest::newRow("German") << QByteArray("http://xn--bcher-kva.de/a%20b") << u"http://bücher.de/a%20b"_s;
    QTest::newRow("ASCII") << QByteArray("http://h.test/a%20b") << u"http://h.test/a%20b"_s;
    QTest::newRow("file") << QByteArray("file:///tmp/a%20b") << u"file:///tmp/a%20b"_s;
}

void tst_HostDisplay::addressText()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, text);
    const QUrl url = QUrl::fromEncoded(address, QUrl::StrictMode);
    QVERIFY(url.isValid());
    QCOMPARE(hostdisplay::locationText(url), text);
    // Read back, the text is the same request.
    QCOMPARE(QUrl(text, QUrl::TolerantMode).toEncoded(), address);
}

void tst_HostDisplay::captionText_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("caption");
    QTest::newRow("the address, look-alike") << u"аррӏе.com"_s << u"http://xn--80ak6aa92e.com/"_s
                                             << u"xn--80ak6aa92e.com"_s;
    QTest::newRow("the address with a path, German") << u"xn--bcher-kva.de/x"_s << u"http://xn--bcher-kva.de/x"_s
                                                     << u"bücher.de/x"_s;
    QTest::newRow("words, as written") << u"Welcome to аррӏе.com"_s << u"http://xn--80ak6aa92e.com/"_s
                                       << u"Welcome to аррӏе.com"_s;
    QTest::newRow("another host, as written") << u"аррӏе.com"_s << u"http://h.test/"_s << u"аррӏе.com"_s;
}

void tst_HostDisplay::captionText()
{
    QFETCH(QString, title);
    QFETCH(QString, page);
    QFETCH(QString, caption);
    QCOMPARE(hostdisplay::titleText(title, QUrl(page)), caption);
}

void tst_HostDisplay::hoveredLinkText_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("shown");
    QTest::newRow("look-alike") << u"http://аррӏе.com/a b"_s << u"http://xn--80ak6aa92e.com/a b"_s;
    QTest::newRow("look-alike, user and port") << u"https://аррӏе@аррӏе.com:81?q"_s
                                               << u"https://аррӏе@xn--80ak6aa92e.com:81?q"_s;
    QTest::newRow("German") << u"http://xn--bcher-kva.de/"_s << u"http://bücher.de/"_s;
    QTest::newRow("ASCII") << u"http://h.test/аррӏе.com"_s << u"http://h.test/аррӏе.com"_s;
    QTest::newRow("no address") << u"аррӏе.com"_s << u"аррӏе.com"_s;
    const QString path = u"/"_s + QString(1 << 20, u'x');
    QTest::newRow("long") << u"http://аррӏе.com"_s + path << u"http://xn--80ak6aa92e.com"_s + path;
}

void tst_HostDisplay::hoveredLinkText()
{
    QFETCH(QString, link);
    QFETCH(QString, shown);
    QCOMPARE(hostdisplay::linkText(link), shown);
}

QTEST_GUILESS_MAIN(tst_HostDisplay)
#include "tst_hostdisplay.moc"
