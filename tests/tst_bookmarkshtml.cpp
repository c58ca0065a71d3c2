#include "formats/bookmarkshtml.h"
#include "support/bookmarktrees.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace bookmarktrees;

namespace {

QByteArray file(const QByteArray &list)
{
    return "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
           "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"
           + list + "</DL><p>\n";
}

QByteArray anchor(const QByteArray &href, const QByteArray &name)
{
    return "<DT><A HREF=\"" + href + "\">" + name + "</A>\n";
}

// Folders inside one another, each holding one favorite before the next folder.
QByteArray nested(int folders)
{
    QByteArray html;
    for (int i = 1; i <= folders; ++i)
        html += "<DT><H3>F" + QByteArray::number(i) + "</H3>\n<DL><p>\n" + anchor("https://e.test/" + QByteArray::number(i), "L");
    for (int i = 1; i <= folders; ++i)
        html += "</DL><p>\n";
    return file(html);
}

} // namespace

// The bookmarks HTML file: every browser's format, read as a file from anywhere.
class tst_BookmarksHtml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void boundsHold_data();
    void boundsHold();
    void writtenFileReadsBackTheSame_data();
    void writtenFileReadsBackTheSame();
};

void tst_BookmarksHtml::read_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QList<Bookmark>>("tree");
    QTest::addColumn<int>("refused");

    QTest::newRow("nested folders, dates")
        << file("<DT><A HREF=\"https://a.test/\" ADD_DATE=\"1700000000\" ICON=\"data:image/png;base64,AAAA\">A</A>\n"
                "<DT><H3 ADD_DATE=\"1600000000\" LAST_MODIFIED=\"1\">Outer</H3>\n<DL><p>\n"
                "<DT><H3>Inner</H3>\n<DL><p>\n" + anchor("ftp://b.test/x", "B") + "</DL><p>\n"
                + anchor("file:///home/u/c.html", "C") + "<DD>a description, not a name\n</DL><p>\n"
                "<DT><H3>Empty</H3>\n<DL><p>\n</DL><p>\n")
        << QList<Bookmark>{favorite(u"A"_s, u"https://a.test/"_s, 1700000000),
                           folder(u"Outer"_s, {folder(u"Inner"_s, {favorite(u"B"_s, u"ftp://b.test/x"_s)}),
                                               favorite(u"C"_s, u"file:///home/u/c.html"_s)}, 1600000000),
                           folder(u"Empty"_s, {})}
        << 0;
    QTest::newRow("lower case, other quotes")
        << file("<dt><a href='https://a.test/?q=\"x\"' add_date=1700000000>One</a>\n"
                "<DT><A\n  HREF=https://b.test/ >Two</A>\n")
        << QList<Bookmark>{favorite(u"One"_s, u"https://a.test/?q=\"x\""_s, 1700000000),
                           favorite(u"Two"_s, u"https://b.test/"_s)}
        << 0;
    QTest::newRow("entities in names and addresses")
        << file(anchor("https://a.test/?a=1&amp;b=2", "Tom &amp; Jerry &lt;3 &#233;&#x263a;&nbsp;&QUOT;q&quot; &bogus; & x"))
        << QList<Bookmark>{favorite(u"Tom & Jerry <3 é☺ \"q\" &bogus; & x"_s, u"https://a.test/?a=1&b=2"_s)} << 0;
    QTest::newRow("markup in a name stays text")
        << file(anchor("https://a.test/", "<script>alert(1)</script><b>Bold</b> <img src=x onerror=alert(2)>"))
        << QList<Bookmark>{favorite(u"<script>alert(1)</script><b>Bold</b> <img src=x onerror=alert(2)>"_s,
                                    u"https://a.test/"_s)}
        << 0;
    QTest::newRow("escaped markup stays text")
        << file(anchor("https://a.test/", "&lt;script&gt;alert(1)&lt;/script&gt;"))
        << QList<Bookmark>{favorite(u"<script>alert(1)</script>"_s, u"https://a.test/"_s)} << 0;
    QTest::newRow("a name on one line, without controls or reordering")
        << file(anchor("https://a.test/", "  two\n\tlines\x01 \xe2\x80\xae" "evil\xe2\x80\xac  "))
        << QList<Bookmark>{favorite(u"two lines evil"_s, u"https://a.test/"_s)} << 0;
    QTest::newRow("addresses that run or hand over are refused")
        << file(anchor("javascript:alert(1)", "js") + anchor(" JavaScript:alert(1)", "JS") + anchor("data:text/html,x", "data")
                + anchor("vbscript:x", "vb") + anchor("about:blank", "about") + anchor("mailto:a@b.test", "mail")
                + anchor("place:sort=8", "place") + anchor("chrome://settings", "chrome") + anchor("relative.html", "rel")
                + anchor("http://", "no host") + anchor("", "none") + "<DT><A>no href</A>\n"
                + anchor("https://kept.test/", "kept"))
        << QList<Bookmark>{favorite(u"kept"_s, u"https://kept.test/"_s)} << 12;
    QTest::newRow("a name not closed ends at the next entry")
        << file("<DT><A HREF=\"https://a.test/\">First\n<DT><A HREF=\"https://b.test/\">Second\n"
                "<DT><H3>Folder\n<DL><p>\n" + anchor("https://c.test/", "Third") + "</DL>")
        << QList<Bookmark>{favorite(u"First"_s, u"https://a.test/"_s), favorite(u"Second"_s, u"https://b.test/"_s),
                           folder(u"Folder"_s, {favorite(u"Third"_s, u"https://c.test/"_s)})}
        << 0;
    QTest::newRow("no names, no dates")
        << file(anchor("https://a.test/", "") + "<DT><H3 ADD_DATE=\"-5\"></H3>\n<DL><p></DL>\n"
                "<DT><A HREF=\"https://b.test/\" ADD_DATE=\"99999999999999\">b</A>"
                "<DT><A HREF=\"https://c.test/\" ADD_DATE=\"soon\">c</A>")
        << QList<Bookmark>{favorite(u"https://a.test/"_s, u"https://a.test/"_s), folder(u"Folder"_s, {}),
                           favorite(u"b"_s, u"https://b.test/"_s), favorite(u"c"_s, u"https://c.test/"_s)}
        << 0;
    QTest::newRow("comments and stray closing lists")
        << file("<!-- <DT><A HREF=\"https://hidden.test/\">hidden</A> -->\n</DL></DL>" + anchor("https://a.test/", "a"))
        << QList<Bookmark>{favorite(u"a"_s, u"https://a.test/"_s)} << 0;
}

void tst_BookmarksHtml::read()
{
    QFETCH(QByteArray, html);
    QFETCH(QList<Bookmark>, tree);
    QFETCH(int, refused);
    const bookmarkshtml::ReadResult result = bookmarkshtml::read(html);
    QVERIFY(result.recognized);
    QCOMPARE(describe(result.tree), describe(tree));
    QVERIFY(result.tree == tree);
    QCOMPARE(result.refused, refused);
    QCOMPARE(result.leftOut, 0);
}

void tst_BookmarksHtml::boundsHold_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("recognized");
    QTest::addColumn<qsizetype>("kept");
    QTest::addColumn<qsizetype>("leftOut");

    const qsizetype deepest = 2 * bookmarks::MaxDepth + 1; // the folders' favorites, and the deepest folder empty
    QTest::newRow("folders past the deepest") << nested(bookmarks::MaxDepth + 8) << true << deepest
                                              << 2 * (bookmarks::MaxDepth + 8) - deepest;
    QTest::newRow("lists nested without end") << file(QByteArray("<DL>").repeated(500'000) + anchor("https://a.test/", "a"))
                                              << true << qsizetype(0) << qsizetype(1);
    QByteArray many;
    for (qsizetype i = 0; i < bookmarks::MaxEntries + 10; ++i)
        many += "<DT><A HREF=\"https://a.test/\">a</A>";
    QTest::newRow("more entries than kept") << file(many) << true << bookmarks::MaxEntries << qsizetype(10);
    QTest::newRow("a long name is cut") << file(anchor("https://a.test/", QByteArray(1'000'000, 'n'))) << true
                                        << qsizetype(1) << qsizetype(0);
    QTest::newRow("a quote never closed") << file("<DT><A HREF=\"https://a.test/>a</A>" + QByteArray(1'000'000, 'x'))
                                          << true << qsizetype(0) << qsizetype(0);
    // Named after its address, as a link without a name is.
    QTest::newRow("a tag never closed") << QByteArray("<DL><DT><A HREF=https://a.test/ ") + QByteArray(1'000'000, ' ')
                                        << true << qsizetype(1) << qsizetype(0);
    QTest::newRow("'<' by the million") << file(QByteArray("<a<<").repeated(500'000)) << true << qsizetype(0)
                                        << qsizetype(0);
    QTest::newRow("not a bookmarks file") << QByteArray("{\"version\": 1}") << false << qsizetype(0) << qsizetype(0);
    QTest::newRow("not text") << QByteArray("\x00\xff\xfe<\x01\x80", 6) << false << qsizetype(0) << qsizetype(0);
}

void tst_BookmarksHtml::boundsHold()
{
    QFETCH(QByteArray, html);
    QFETCH(bool, recognized);
    QFETCH(qsizetype, kept);
    QFETCH(qsizetype, leftOut);
    const bookmarkshtml::ReadResult result = bookmarkshtml::read(html);
    QCOMPARE(result.recognized, recognized);
    QCOMPARE(bookmarks::count(result.tree), kept);
    QCOMPARE(result.leftOut, leftOut);
    for (const Bookmark &b : result.tree)
        QVERIFY(b.name.size() <= bookmarks::MaxNameChars);
}

void tst_BookmarksHtml::writtenFileReadsBackTheSame_data()
{
    QTest::addColumn<QList<Bookmark>>("tree");
    QTest::newRow("nothing") << QList<Bookmark>{};
    QTest::newRow("folders in folders")
        << QList<Bookmark>{favorite(u"Top"_s, u"https://top.test/"_s, 1700000001),
                           folder(u"A"_s, {folder(u"B"_s, {favorite(u"Deep"_s, u"ftp://deep.test/f.txt"_s)}),
                                           folder(u"Empty"_s, {}, 1500000000)}, 1600000000),
                           favorite(u"File"_s, u"file:///tmp/page.html"_s)};
    QTest::newRow("text that looks like markup")
        << QList<Bookmark>{favorite(u"<script>alert(\"x\")</script> & 'q' &amp;"_s, u"https://a.test/?a=1&b=\"2\"'"_s),
                           folder(u"</H3><DL>"_s, {favorite(u"</A>é☺𝄞"_s, u"https://b.test/#x"_s)})};
}

void tst_BookmarksHtml::writtenFileReadsBackTheSame()
{
    QFETCH(QList<Bookmark>, tree);
    const QByteArray html = bookmarkshtml::write(tree);
    QVERIFY(!html.contains("<script>"));
    const bookmarkshtml::ReadResult back = bookmarkshtml::read(html);
    QVERIFY(back.recognized);
    QCOMPARE(describe(back.tree), describe(tree));
    QVERIFY(back.tree == tree);
    QCOMPARE(back.refused + back.leftOut, 0);
}

QTEST_GUILESS_MAIN(tst_BookmarksHtml)
#include "tst_bookmarkshtml.moc"
