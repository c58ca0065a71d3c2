#include "system/programfolder.h"
#include "windows/frmHelp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kHelp = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\n"
                         "\\pard\\qc\\f0\\fs28{\\b Quillpost} viewer\\par\n"
                         "\\pard Second paragraph.\\par\n}";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QTextCharFormat formatOf(QTextEdit *box, const QString &word)
{
    const QTextCursor found = box->document()->find(word, 0, QTextDocument::FindCaseSensitively);
    QTextCursor at(found);
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

} // namespace

// The help viewer with a temporary program folder.
class tst_FrmHelp : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    QString helpPath() const { return ProgramFolder(folder->path()).file(u"hv.hlp.rtf"_s); }

private Q_SLOTS:
    void init();
    void cleanup();

    void showsTheHelpFile();
    void unreadableFile_data();
    void unreadableFile();
    void bigOrDeepFileOpensPromptly_data();
    void bigOrDeepFileOpensPromptly();
    void window();
    void titleIsCovered();
    void textBoxTakesTheFocus();
    void readsAfreshAfterClose();
    void loadReplaces();
};

void tst_FrmHelp::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void tst_FrmHelp::cleanup()
{
    folder.reset();
}

void tst_FrmHelp::showsTheHelpFile()
{
    QVERIFY(writeFile(helpPath(), kHelp));
    frmHelp w{ProgramFolder(folder->path())};
    QCOMPARE(w.RichTextBox1->toPlainText(), u"Quillpost viewer\nSecond paragraph."_s);
    QCOMPARE(formatOf(w.RichTextBox1, u"Quillpost"_s).fontWeight(), int(QFont::Bold));
    QCOMPARE(formatOf(w.RichTextBox1, u"viewer"_s).fontWeight(), int(QFont::Normal));
    QCOMPARE(formatOf(w.RichTextBox1, u"viewer"_s).fontPointSize(), 14.0);
    const QTextBlockFormat first = w.RichTextBox1->document()->firstBlock().blockFormat();
    QCOMPARE(first.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    // The reader starts at the top.
    QCOMPARE(w.RichTextBox1->textCursor().position(), 0);
}

void tst_FrmHelp::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << u"missing"_s << u"it does not exist"_s;
    QTest::newRow("folder") << u"folder"_s << u"it is a folder"_s;
    QTest::newRow("empty") << u"empty"_s << u"it is empty"_s;
    QTest::newRow("random bytes") << u"random"_s << u"it is not a Rich Text Format file"_s;
    QTest::newRow("plain text") << u"text"_s << u"it is not a Rich Text Format file"_s;
}

void tst_FrmHelp::unreadableFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    if (kind == u"folder") {
        QVERIFY(QDir(folder->path()).mkdir(u"hv.hlp.rtf"_s));
    } else if (kind == u"empty") {
        QVERIFY(writeFile(helpPath(), QByteArray()));
    } else if (kind == u"random") {
        QByteArray bytes(4096, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char &b : bytes)
            b = char(random.bounded(256));
        bytes[0] = '\x01';
        QVERIFY(writeFile(helpPath(), bytes));
    } else if (kind == u"text") {
        QVERIFY(writeFile(helpPath(), "Halvane help\n"));
    }

    // Shown in the viewer, and told in the log for whoever looks there.
    QTest::ignoreMessage(QtWarningMsg, qPrintable(u"The help file %1 was not shown: %2."_s.arg(helpPath(), reason)));
    frmHelp w{ProgramFolder(folder->path())};
    QCOMPARE(w.RichTextBox1->toPlainText(),
             u"The help file %1 could not be read: %2."_s.arg(helpPath(), reason));
    QCOMPARE(w.RichTextBox1->document()->blockCount(), 1);
}

// Hostile or oversized help files: the viewer still opens at once, showing the text or
// the sentence saying why not. The time covers reading, showing and laying out the text.
void tst_FrmHelp::bigOrDeepFileOpensPromptly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QString>("shownStart"); // the first characters the box shows
    QTest::addColumn<bool>("cut");           // only the beginning shown, and a note after it
    const qsizetype mb100 = 100 * 1024 * 1024;
    const qsizetype limit = frmHelp::maxShownCharacters;
    QTest::newRow("100 MB random bytes")
        << u"random"_s << mb100 << u"The help file %1 could not be read: it is not a Rich Text Format file."_s
        << false;
    QTest::newRow("10,000 nested groups") << u"nested"_s << qsizetype(10000) << u"ab"_s << false;
    QTest::newRow("10,000 unclosed groups") << u"unclosed"_s << qsizetype(10000) << u"a"_s << false;
    QTest::newRow("100 MB random bytes after a header") << u"random rtf"_s << mb100 << QString() << false;
    QTest::newRow("200,000-letter word") << u"word"_s << qsizetype(200000) << u"xxxx"_s << true;
    QTest::newRow("text up to the limit") << u"word"_s << limit << u"xxxx"_s << false;
    QTest::newRow("one letter past the limit") << u"word"_s << limit + 1 << u"xxxx"_s << true;
    QTest::newRow("100 MB text after a header") << u"word"_s << mb100 << u"xxxx"_s << true;
    QTest::newRow("100 MB of words after a header") << u"words"_s << mb100 << u"word word"_s << true;
    QTest::newRow("100 MB of paragraphs after a header") << u"paragraphs"_s << mb100 << u"p"_s << true;
    // Each tab setting once laid out every paragraph before it again.
    QTest::newRow("30,000 tab settings after 30,000 paragraphs") << u"tabs"_s << qsizetype(30000) << u"p"_s
                                                                 << false;
}

void tst_FrmHelp::bigOrDeepFileOpensPromptly()
{
    QFETCH(QString, kind);
    QFETCH(qsizetype, size);
    QFETCH(QString, shownStart);
    QFETCH(bool, cut);
    {
        QByteArray bytes;
        if (kind == u"random" || kind == u"random rtf") {
            bytes.resize(size);
            QRandomGenerator random(7);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
            if (kind == u"random")
                bytes[0] = 'x';
            else
                bytes.prepend("{\\rtf1 ");
        } else if (kind == u"word") {
            bytes = "{\\rtf1 " + QByteArray(size, 'x') + '}';
        } else if (kind == u"words") {
            bytes = "{\\rtf1 " + QByteArray("word ").repeated(size / 5) + '}';
        } else if (kind == u"paragraphs") {
            bytes = "{\\rtf1 " + QByteArray("p\\par ").repeated(size / 6) + '}';
        } else if (kind == u"tabs") {
            bytes = "{\\rtf1 " + QByteArray("p\\par ").repeated(size) + QByteArray("\\deftab720 ").repeated(size) + '}';
        } else if (kind == u"nested") {
            bytes = "{\\rtf1 a" + QByteArray(size, '{') + "deep" + QByteArray(size, '}') + "b}";
        } else {
            bytes = "{\\rtf1 a" + QByteArray(size, '{') + "deep";
        }
        QVERIFY(writeFile(helpPath(), bytes));
    }

    QElapsedTimer clock;
    clock.start();
    QPointer<frmHelp> w = new frmHelp(ProgramFolder(folder->path()));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Painting the box lays out at least what it shows.
    w->RichTextBox1->viewport()->repaint();
    const qint64 opened = clock.elapsed();
    qInfo("viewer opened in %lld ms", qlonglong(opened));
    QVERIFY2(opened < 2000, qPrintable(u"the viewer took %1 ms to open"_s.arg(opened)));

    const QTextDocument *doc = w->RichTextBox1->document();
    const QString shown = doc->firstBlock().text();
    if (shownStart.isEmpty())
        QVERIFY2(!shown.startsWith(u"The help file"_s), qPrintable(shown.left(200)));
    else
        QVERIFY2(shown.startsWith(shownStart.arg(helpPath())), qPrintable(shown.left(200)));
    const QString note = u"The help file %1 is too long to show whole: only its beginning is shown."_s.arg(helpPath());
    QCOMPARE(doc->lastBlock().text() == note, cut);
    if (cut)
        QCOMPARE(doc->lastBlock().position() - 1, frmHelp::maxShownCharacters);
    QVERIFY(w->close());
    QTRY_VERIFY(w.isNull());
}

void tst_FrmHelp::window()
{
    QVERIFY(writeFile(helpPath(), kHelp));
    frmHelp w{ProgramFolder(folder->path())};
    QCOMPARE(w.objectName(), u"frmHelp"_s);
    QCOMPARE(w.windowTitle(), u"Halvane Help and Info"_s);
    QVERIFY(w.isWindow());
    QVERIFY(!w.parentWidget());
    QVERIFY(w.testAttribute(Qt::WA_DeleteOnClose));
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));

    QCOMPARE(w.size(), QSize(441, 381));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);

    QCOMPARE(w.RichTextBox1->objectName(), u"RichTextBox1"_s);
    QCOMPARE(w.Label1->objectName(), u"Label1"_s);
    QCOMPARE(w.Label1->text(), u"Halvane"_s);
    QVERIFY(w.Label1->font().bold());
    QCOMPARE(w.Label1->font().pointSizeF(), 13.5);
    QVERIFY(w.RichTextBox1->isReadOnly());
    QCOMPARE(w.RichTextBox1->geometry(), QRect(0, 8, 441, 369));
    QCOMPARE(w.Label1->geometry(), QRect(80, 8, 257, 25));

    // Resizing moves nothing.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(900, 700);
    QTRY_COMPARE(w.size(), QSize(900, 700));
    QCOMPARE(w.RichTextBox1->geometry(), QRect(0, 8, 441, 369));
    QCOMPARE(w.Label1->geometry(), QRect(80, 8, 257, 25));
}

// The title label lies under the text box: every point of it shows the box.
void tst_FrmHelp::titleIsCovered()
{
    frmHelp w{ProgramFolder(folder->path())};
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect label = w.Label1->geometry();
    QVERIFY(w.RichTextBox1->geometry().contains(label));
    for (const QPoint p : {label.topLeft(), label.center(), label.bottomRight()}) {
        QWidget *top = w.childAt(p);
        QVERIFY(top);
        QVERIFY2(top == w.RichTextBox1 || w.RichTextBox1->isAncestorOf(top),
                 qPrintable(top->objectName()));
    }
}

void tst_FrmHelp::textBoxTakesTheFocus()
{
    QVERIFY(writeFile(helpPath(), kHelp));
    frmHelp w{ProgramFolder(folder->path())};
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_COMPARE(QApplication::focusWidget(), w.RichTextBox1);
    // Read-only: typing changes nothing.
    QTest::keyClicks(w.RichTextBox1, u"typed"_s);
    QCOMPARE(w.RichTextBox1->toPlainText(), u"Quillpost viewer\nSecond paragraph."_s);
}

// An open viewer keeps what it read; closing deletes it, and the next one reads again.
void tst_FrmHelp::readsAfreshAfterClose()
{
    QVERIFY(writeFile(helpPath(), kHelp));
    QPointer<frmHelp> w = new frmHelp(ProgramFolder(folder->path()));
    w->show();
    QVERIFY(writeFile(helpPath(), "{\\rtf1 Changed text.}"));
    QCOMPARE(w->RichTextBox1->toPlainText(), u"Quillpost viewer\nSecond paragraph."_s);
    QVERIFY(w->close());
    QTRY_VERIFY(w.isNull());

    frmHelp again{ProgramFolder(folder->path())};
    QCOMPARE(again.RichTextBox1->toPlainText(), u"Changed text."_s);
}

// Form_Load replaces what the box held, whatever that was.
void tst_FrmHelp::loadReplaces()
{
    QVERIFY(writeFile(helpPath(), kHelp));
    frmHelp w{ProgramFolder(folder->path())};
    QVERIFY(QFile::remove(helpPath()));
    w.Form_Load();
    QCOMPARE(w.RichTextBox1->toPlainText(),
             u"The help file %1 could not be read: it does not exist."_s.arg(helpPath()));
    QCOMPARE(formatOf(w.RichTextBox1, u"help"_s).fontWeight(), int(QFont::Normal));
    QVERIFY(writeFile(helpPath(), kHelp));
    w.Form_Load();
    QCOMPARE(w.RichTextBox1->toPlainText(), u"Quillpost viewer\nSecond paragraph."_s);
}

QTEST_MAIN(tst_FrmHelp)
#include "tst_frmhelp.moc"
