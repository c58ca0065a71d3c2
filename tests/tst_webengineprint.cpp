#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

using namespace enginetesting;

namespace {

constexpr int PrintTimeoutMs = 30000;

const QString ClipboardMarker = u"marker left on the clipboard"_s;
const QString SentinelText = u"sentinel words"_s;

// Page objects in a PDF; "/Type /Pages" is the tree above them.
qsizetype pdfPageCount(const QByteArray &pdf)
{
    static const QRegularExpression pageObject(u"/Type\\s*/Page(?!s)"_s);
    return QString::fromLatin1(pdf).count(pageObject);
}

// What a poppler tool says of a PDF file; empty with a warning when it did not run.
QString poppler(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(PrintTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning("%s did not run (poppler-utils installed?): %s", qPrintable(tool),
                 process.readAllStandardError().constData());
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class tst_WebEnginePrint : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void printsPageToPdf_data();
    void printsPageToPdf();
    void printRefused_data();
    void printRefused();

    void cutAndCopy_data();
    void cutAndCopy();
    void paste_data();
    void paste();

private:
    QString url(const QString &path) const { return m_server.url(path).toString(); }
    void navigateAndWait(const QString &path);
    QPrinter *pdfPrinter(const QString &name, QPageSize::PageSizeId size = QPageSize::A4,
                         QPageLayout::Orientation orientation = QPageLayout::Portrait);
    bool startPrint(QPrinter *printer);
    bool waitForPrints();
    void checkPdf(const QString &name, qsizetype minPages, qsizetype maxPages);
    QVariant runScript(const QString &script);

    LoopbackHttpServer m_server;
    QTemporaryDir m_dir;
    WebEngineBrowser *m_browser = nullptr;
    std::unique_ptr<QSignalSpy> m_printed;
    int m_printsStarted = 0;
    // Printers live until the browser has finished with them, even when a check fails.
    std::vector<std::unique_ptr<QPrinter>> m_printers;
};

void tst_WebEnginePrint::initTestCase()
{
    QVERIFY(m_server.start());
    QVERIFY(m_dir.isValid());
    m_server.setPage(u"/paragraphs"_s,
                     page("Paragraphs", "<h1>Printing</h1><p>The first paragraph.</p>"
                                        "<p>The second paragraph, a little longer than the first.</p>"
                                        "<p>The third and last paragraph.</p>"));
    QByteArray tall;
    for (int i = 1; i <= 40; ++i)
        tall += "<p>Paragraph " + QByteArray::number(i) + " of a page taller than a sheet.</p>";
    tall += "<div style='height:4000px;border-left:4px solid black'></div><p>The end.</p>";
    m_server.setPage(u"/tall"_s, page("Tall", tall));
    m_server.setPage(u"/held"_s, page("Held", "<p>held</p>"));
    m_server.setHold(u"/held"_s);
    m_server.setPage(u"/edit"_s,
                     page("Edit", "<input id='field' value='Halvane field text'>"
                                  "<input id='empty'>"
                                  "<div id='editable' contenteditable='true'>editable words</div>"
                                  "<p id='plain'>plain paragraph</p>"
                                  "<p id='sentinel'>" + SentinelText.toUtf8() + "</p>"));
}

void tst_WebEnginePrint::init()
{
    m_server.clearRequests();
    m_browser = new WebEngineBrowser;
    m_browser->resize(640, 480);
    m_browser->show();
    m_printed = std::make_unique<QSignalSpy>(m_browser, &WebBrowser::PrintFinished);
    m_printsStarted = 0;
}

void tst_WebEnginePrint::cleanup()
{
    m_server.releaseHeld();
    // A print still running draws on its printer from another thread.
    const bool printsEnded = waitForPrints();
    delete m_browser;
    m_browser = nullptr;
    m_printed.reset();
    if (printsEnded)
        m_printers.clear();
    QVERIFY2(printsEnded, "a print never finished");
}

void tst_WebEnginePrint::navigateAndWait(const QString &path)
{
    QSignalSpy complete(m_browser, &WebBrowser::DownloadComplete);
    m_browser->Navigate(url(path));
    QVERIFY(waitUntil([&] { return complete.count() > 0; }));
    QCOMPARE(m_browser->LocationURL(), url(path));
}

QPrinter *tst_WebEnginePrint::pdfPrinter(const QString &name, QPageSize::PageSizeId size,
                                         QPageLayout::Orientation orientation)
{
    auto printer = std::make_unique<QPrinter>();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(m_dir.filePath(name));
    printer->setPageSize(QPageSize(size));
    printer->setPageOrientation(orientation);
    QFile::remove(printer->outputFileName());
    m_printers.push_back(std::move(printer));
    return m_printers.back().get();
}

bool tst_WebEnginePrint::startPrint(QPrinter *printer)
{
    const bool started = m_browser->PrintPage(printer);
    if (started)
        ++m_printsStarted;
    return started;
}

// True once every started print has reported its end.
bool tst_WebEnginePrint::waitForPrints()
{
    return waitUntil([this] { return m_printed->count() >= m_printsStarted; }, PrintTimeoutMs);
}

void tst_WebEnginePrint::checkPdf(const QString &name, qsizetype minPages, qsizetype maxPages)
{
    QFile file(m_dir.filePath(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray pdf = file.readAll();
    QVERIFY2(pdf.startsWith("%PDF"), pdf.left(16).constData());
    // Complete when the end is reported, not still being written.
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    const qsizetype pages = pdfPageCount(pdf);
    QVERIFY2(pages >= minPages && pages <= maxPages, qPrintable(u"%1 pages"_s.arg(pages)));
}

QVariant tst_WebEnginePrint::runScript(const QString &script)
{
    return evaluate(m_browser->view()->page(), script).value_or(u"<no answer to %1>"_s.arg(script));
}

void tst_WebEnginePrint::printsPageToPdf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("minPages");
    QTest::addColumn<int>("maxPages");
    QTest::addColumn<QPageSize::PageSizeId>("size");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::addColumn<QString>("words");
    QTest::newRow("a few paragraphs") << u"/paragraphs"_s << 1 << 1 << QPageSize::A4
                                      << QPageLayout::Portrait
                                      << u"The second paragraph, a little longer than the first."_s;
    // Everything, not only what fits the view, goes on the sheets.
    QTest::newRow("taller than a sheet") << u"/tall"_s << 3 << 20 << QPageSize::A4
                                         << QPageLayout::Portrait << u"The end."_s;
    QTest::newRow("letter, landscape") << u"/paragraphs"_s << 1 << 1 << QPageSize::Letter
                                       << QPageLayout::Landscape << u"The third and last paragraph."_s;
    QTest::newRow("A5, portrait") << u"/paragraphs"_s << 1 << 2 << QPageSize::A5
                                  << QPageLayout::Portrait << u"The first paragraph."_s;
}

void tst_WebEnginePrint::printsPageToPdf()
{
    QFETCH(QString, path);
    QFETCH(int, minPages);
    QFETCH(int, maxPages);
    QFETCH(QPageSize::PageSizeId, size);
    QFETCH(QPageLayout::Orientation, orientation);
    QFETCH(QString, words);
    navigateAndWait(path);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(startPrint(pdfPrinter(u"page.pdf"_s, size, orientation)));
    QVERIFY(waitForPrints());
    qInfo("printed in %lld ms, %lld bytes", clock.elapsed(),
          QFileInfo(m_dir.filePath(u"page.pdf"_s)).size());
    QCOMPARE(m_printed->count(), 1);
    QCOMPARE(m_printed->first().first().toBool(), true);
    checkPdf(u"page.pdf"_s, minPages, maxPages);

    // The words are text in the file, not pictures of them.
    const QString text = poppler(u"pdftotext"_s, {m_dir.filePath(u"page.pdf"_s), u"-"_s});
    QVERIFY2(text.simplified().contains(words), qPrintable(u"text: \"%1\""_s.arg(text.left(300))));
    // Each sheet as chosen in the dialog, turned for landscape.
    static const QRegularExpression sheet(u"Page size:\\s*([0-9.]+) x ([0-9.]+) pts"_s);
    const QString info = poppler(u"pdfinfo"_s, {m_dir.filePath(u"page.pdf"_s)});
    const QRegularExpressionMatch match = sheet.match(info);
    QVERIFY2(match.hasMatch(), qPrintable(info));
    QSizeF expected = QPageSize(size).size(QPageSize::Point);
    if (orientation == QPageLayout::Landscape)
        expected.transpose();
    const QSizeF written(match.captured(1).toDouble(), match.captured(2).toDouble());
    QVERIFY2(qAbs(written.width() - expected.width()) < 1.5
                 && qAbs(written.height() - expected.height()) < 1.5,
             qPrintable(u"%1 x %2 pt, expected %3 x %4"_s.arg(written.width()).arg(written.height())
                            .arg(expected.width()).arg(expected.height())));
}

void tst_WebEnginePrint::printRefused_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("nothing loaded") << u"empty"_s;
    QTest::newRow("first page still coming") << u"held"_s;
    QTest::newRow("no printer") << u"noprinter"_s;
    QTest::newRow("print running") << u"printing"_s;
}

// A refused print starts nothing: the print that follows is this browser's only one,
// and it succeeds.
void tst_WebEnginePrint::printRefused()
{
    QFETCH(QString, situation);
    QPrinter *printer = pdfPrinter(u"refused.pdf"_s);

    if (situation == u"held"_s) {
        m_browser->Navigate(url(u"/held"_s));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    } else if (situation == u"noprinter"_s) {
        navigateAndWait(u"/paragraphs"_s);
        printer = nullptr;
    } else if (situation == u"printing"_s) {
        navigateAndWait(u"/paragraphs"_s);
        QVERIFY(startPrint(pdfPrinter(u"first.pdf"_s)));
    }

    QVERIFY(!startPrint(printer));

    if (situation == u"held"_s) {
        QSignalSpy complete(m_browser, &WebBrowser::DownloadComplete);
        m_server.releaseHeld();
        QVERIFY(waitUntil([&] { return complete.count() > 0; }));
    } else if (situation == u"empty"_s) {
        navigateAndWait(u"/paragraphs"_s);
    }
    QVERIFY(waitForPrints());
    const int before = m_printsStarted;
    QVERIFY(startPrint(pdfPrinter(u"next.pdf"_s)));
    QVERIFY(waitForPrints());
    QCOMPARE(m_printed->count(), before + 1);
    for (const QList<QVariant> &finished : std::as_const(*m_printed))
        QCOMPARE(finished.first().toBool(), true);
    checkPdf(u"next.pdf"_s, 1, 1);
    QVERIFY(!QFile::exists(m_dir.filePath(u"refused.pdf"_s)));
    if (situation == u"printing"_s)
        checkPdf(u"first.pdf"_s, 1, 1);
}

void tst_WebEnginePrint::cutAndCopy_data()
{
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("copied");  // empty: the clipboard is left alone
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("left");

    const QString field = u"document.getElementById('field')"_s;
    const QString fieldValue = field + u".value"_s;
    const QString editableText = u"document.getElementById('editable').textContent"_s;
    const QString selectField = u"const f = %1; f.focus(); f.select();"_s.arg(field);
    const QString selectEditable =
        u"const e = document.getElementById('editable'); e.focus();"
        " document.getSelection().selectAllChildren(e);"_s;
    const QString selectPlain =
        u"document.getSelection().selectAllChildren(document.getElementById('plain'));"_s;
    const QString caretInField = u"const f = %1; f.focus(); f.setSelectionRange(3, 3);"_s.arg(field);
    const QString noSelection = u"document.getSelection().removeAllRanges();"
                                " if (document.activeElement) document.activeElement.blur();"_s;

    QTest::newRow("copy field") << false << selectField << u"Halvane field text"_s << fieldValue
                                << u"Halvane field text"_s;
    QTest::newRow("copy editable") << false << selectEditable << u"editable words"_s << editableText
                                   << u"editable words"_s;
    QTest::newRow("copy page text") << false << selectPlain << u"plain paragraph"_s << editableText
                                    << u"editable words"_s;
    QTest::newRow("copy nothing") << false << noSelection << QString() << fieldValue
                                  << u"Halvane field text"_s;
    QTest::newRow("copy at caret") << false << caretInField << QString() << fieldValue
                                   << u"Halvane field text"_s;
    QTest::newRow("cut field") << true << selectField << u"Halvane field text"_s << fieldValue
                               << QString();
    QTest::newRow("cut part of field")
        << true << u"const f = %1; f.focus(); f.setSelectionRange(0, 8);"_s.arg(field)
        << u"Halvane "_s << fieldValue << u"field text"_s;
    QTest::newRow("cut editable") << true << selectEditable << u"editable words"_s << editableText
                                  << QString();
    QTest::newRow("cut nothing") << true << noSelection << QString() << fieldValue
                                 << u"Halvane field text"_s;
    QTest::newRow("cut at caret") << true << caretInField << QString() << fieldValue
                                  << u"Halvane field text"_s;
    // Text the page does not let the user edit can be copied but not cut.
    QTest::newRow("cut page text") << true << selectPlain << QString()
                                   << u"document.getElementById('plain').textContent"_s
                                   << u"plain paragraph"_s;
}

void tst_WebEnginePrint::cutAndCopy()
{
    QFETCH(bool, cut);
    QFETCH(QString, select);
    QFETCH(QString, copied);
    QFETCH(QString, readBack);
    QFETCH(QString, left);
    navigateAndWait(u"/edit"_s);

    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(ClipboardMarker);
    QCOMPARE(clipboard->text(), ClipboardMarker);
    // Every text the clipboard is given from here on.
    QStringList written;
    const auto watch = connect(clipboard, &QClipboard::dataChanged, this,
                               [&] { written << clipboard->text(); });
    const auto unwatch = qScopeGuard([&] { disconnect(watch); });

    runScript(select + u" true"_s);
    cut ? m_browser->EditCut() : m_browser->EditCopy();
    if (!copied.isEmpty())
        QVERIFY2(waitUntil([&] { return !written.isEmpty(); }), "nothing reached the clipboard");

    // The page handles its edit commands in order: once a later copy has arrived,
    // the first has had its effect, or had none.
    runScript(u"document.getSelection().selectAllChildren(document.getElementById('sentinel')); true"_s);
    m_browser->EditCopy();
    QVERIFY2(waitUntil([&] { return written.contains(SentinelText); }),
             qPrintable(written.join(u" | "_s)));

    QStringList expected;
    if (!copied.isEmpty())
        expected << copied;
    expected << SentinelText;
    QCOMPARE(written, expected);
    QCOMPARE(runScript(readBack).toString(), left);
}

void tst_WebEnginePrint::paste_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty field")
        << u"document.getElementById('empty').focus();"_s
        << u"document.getElementById('empty').value"_s << u"pasted text"_s;
    QTest::newRow("over a selection")
        << u"const f = document.getElementById('field'); f.focus(); f.setSelectionRange(0, 7);"_s
        << u"document.getElementById('field').value"_s << u"pasted text field text"_s;
    QTest::newRow("end of editable")
        << u"const e = document.getElementById('editable'); e.focus();"
           " const s = document.getSelection(); s.selectAllChildren(e); s.collapseToEnd();"_s
        << u"document.getElementById('editable').textContent"_s << u"editable wordspasted text"_s;
}

void tst_WebEnginePrint::paste()
{
    QFETCH(QString, place);
    QFETCH(QString, readBack);
    QFETCH(QString, expected);
    navigateAndWait(u"/edit"_s);

    QGuiApplication::clipboard()->setText(u"pasted text"_s);
    runScript(place + u" true"_s);
    m_browser->EditPaste();
    QString value;
    waitUntil([&] {
        value = runScript(readBack).toString();
        return value == expected;
    });
    QCOMPARE(value, expected);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"pasted text"_s);
}

QTEST_MAIN(tst_WebEnginePrint)
#include "tst_webengineprint.moc"
