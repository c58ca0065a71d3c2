#include "formats/rtfreader.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// A document around a body, the way word processors start theirs.
QByteArray rtf(const QByteArray &body)
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0 " + body + '}';
}

// The document's characters as they are, paragraphs one a line: unlike toPlainText(),
// a no-break space or a line break within a paragraph stays what it is.
QString textOf(const QTextDocument &doc)
{
    return doc.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

QTextCharFormat formatOf(const QTextDocument &doc, const QString &word)
{
    const QTextCursor found = doc.find(word, 0, QTextDocument::FindCaseSensitively);
    if (found.isNull())
        return {};
    QTextCursor at(found);
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    const qsizetype words = size / qsizetype(sizeof(quint32));
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), words);
    for (qsizetype i = words * qsizetype(sizeof(quint32)); i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a word should look like; unset fields are the reader's defaults.
struct Look
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    qreal size = 12;
    QString family; // empty: none set
    QColor color;   // invalid: none set
};

} // namespace

Q_DECLARE_METATYPE(Look)

class tst_RtfReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_data();
    void text();
    void charFormat_data();
    void charFormat();
    void paragraphFormat_data();
    void paragraphFormat();
    void refused_data();
    void refused();
    void file_data();
    void file();
    void replacesWhatTheDocumentHeld();
    void helpFileReads();
    void everyWayInMeetsTheLimit_data();
    void everyWayInMeetsTheLimit();
    void largeInputs_data();
    void largeInputs();
};

// Damaged input: read as far as it goes.
static void addDamagedInputRows()
{
    QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 a{\\b b{\\i c") << u"abc"_s;
    QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a{b}}}}c") << u"ab"_s;
    QTest::newRow("truncated word") << QByteArray("{\\rtf1 a\\pa") << u"a"_s;
    QTest::newRow("backslash at end") << QByteArray("{\\rtf1 a\\") << u"a"_s;
    QTest::newRow("truncated parameter") << QByteArray("{\\rtf1 a\\fs-") << u"a-"_s;
    QTest::newRow("hex at end") << QByteArray("{\\rtf1 a\\'4") << u"a"_s;
    QTest::newRow("quote at end") << QByteArray("{\\rtf1 a\\'") << u"a"_s;
    QTest::newRow("100-letter word") << rtf("a\\" + QByteArray(100, 'x') + " b") << u"ab"_s;
    QTest::newRow("long word starting par") << rtf("a\\par" + QByteArray(97, 'd') + " b") << u"ab"_s;
    QTest::newRow("40-digit number")
        << rtf("a\\u1234567890123456789012345678901234567890 bc") << u"a\uFFFDc"_s;
    QTest::newRow("40-digit negative") << rtf("a\\li-1234567890123456789012345678901234567890 b")
                                       << u"ab"_s;
    QTest::newRow("bin beyond the end") << QByteArray("{\\rtf1 a\\bin999999999 bcd}") << u"a"_s;
    QTest::newRow("bin negative") << rtf("a\\bin-5 b") << u"ab"_s;
    QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b\\\0c\\'00d}", 19) << u"abcd"_s;
    QTest::newRow("control bytes") << rtf("a\x01\x02\x1b" "b") << u"ab"_s;
    QTest::newRow("900 nested groups")
        << rtf(QByteArray(900, '{') + "x" + QByteArray(900, '}')) << u"x"_s;
    QTest::newRow("10000 nested groups")
        << rtf("a" + QByteArray(10000, '{') + "deep" + QByteArray(10000, '}') + "b") << u"ab"_s;
    QTest::newRow("100000 unclosed groups") << QByteArray("{\\rtf1 a" + QByteArray(100000, '{') + "b")
                                            << u"a"_s;
    QTest::newRow("long paragraph") << rtf(QByteArray(100000, 'x') + "{\\b y}\\par z")
                                    << QString(100000, u'x') + u"y\nz"_s;
    QTest::newRow("groups only") << QByteArray("{\\rtf1{}{{}}}") << QString();
}

void tst_RtfReader::text_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain text") << rtf("Hello world") << u"Hello world"_s;
    QTest::newRow("paragraphs") << rtf("One\\par Two\\par Three") << u"One\nTwo\nThree"_s;
    QTest::newRow("last par adds no paragraph") << rtf("One\\par Two\\par") << u"One\nTwo"_s;
    QTest::newRow("empty paragraph") << rtf("A\\par\\par B") << u"A\n\nB"_s;
    QTest::newRow("line and tab") << rtf("a\\line b\\tab c") << u"a\u2028b\tc"_s;
    QTest::newRow("line breaks in the file") << QByteArray("{\\rtf1 a\r\nb\nc\rd}") << u"abcd"_s;
    QTest::newRow("backslash newline") << QByteArray("{\\rtf1 a\\\nb\\\r\nc}") << u"a\nb\nc"_s;
    QTest::newRow("delimiting blank") << rtf("\\b  two\\b0 3") << u" two3"_s;
    QTest::newRow("control symbols")
        << rtf("\\\\ \\{ \\} a\\~b c\\-d e\\_f\\|\\:") << u"\\ { } a\u00A0b c\u00ADd e\u2011f"_s;
    QTest::newRow("special characters")
        << rtf("\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote")
        << u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D"_s;
    QTest::newRow("unknown words") << rtf("a\\foo b\\bar12 c\\Zap-3 d") << u"abcd"_s;
    QTest::newRow("after the last brace") << QByteArray("{\\rtf1 a}b{c}") << u"a"_s;
    QTest::newRow("byte order mark and blanks")
        << QByteArray("\xEF\xBB\xBF \r\n\t{\\rtf1 a}") << u"a"_s;

    // \'hh in the document's code page, or in the code page of the font's character set.
    QTest::newRow("cp1252") << rtf("caf\\'e9 \\'80 \\'93q\\'94") << u"café € “q”"_s;
    QTest::newRow("cp1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}")
                            << u"Привет"_s;
    QTest::newRow("font charset")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}"
                      "\\f1 \\'c4\\'e0 \\f0 \\'c4}")
        << u"Да Ä"_s;
    QTest::newRow("double byte") << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'88\\'9f}")
                                 << u"あ亜"_s;
    QTest::newRow("mac") << QByteArray("{\\rtf1\\mac \\'8e}") << u"é"_s;
    QTest::newRow("unknown code page") << QByteArray("{\\rtf1\\ansi\\ansicpg99999 \\'e9}") << u"é"_s;
    QTest::newRow("raw bytes") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \xcf\xf0}") << u"Пр"_s;
    QTest::newRow("bad hex") << rtf("a\\'zzb\\'4") << u"azzb"_s;

    // \uN and the fallback characters after it.
    QTest::newRow("u default skip") << rtf("\\u8226?x") << u"•x"_s;
    QTest::newRow("uc0") << rtf("\\uc0\\u8226 x") << u"•x"_s;
    QTest::newRow("uc2") << rtf("\\uc2\\u8364 EUx") << u"€x"_s;
    QTest::newRow("uc1 hex fallback") << rtf("\\u233\\'e9x") << u"éx"_s;
    QTest::newRow("uc2 hex fallback") << rtf("\\uc2\\u12354\\'82\\'a0x") << u"あx"_s;
    QTest::newRow("fallback word") << rtf("\\u8226\\bullet x") << u"•x"_s;
    QTest::newRow("negative u") << rtf("\\u-24576?") << u"\uA000"_s;
    QTest::newRow("surrogate pair") << rtf("\\u-10179?\\u-8704?") << u"\U0001F600"_s;
    QTest::newRow("control codes as u") << rtf("a\\u0?\\u13?\\u9?b") << u"a\tb"_s;
    QTest::newRow("lone surrogate") << rtf("\\u55357?x") << u"\uFFFDx"_s;
    QTest::newRow("uc group scope") << rtf("{\\uc2\\u8226 ab}\\u8226 cd") << u"••d"_s;
    QTest::newRow("skip ends with group") << rtf("{\\uc3\\u8226 a}bc") << u"•bc"_s;
    QTest::newRow("uc huge") << rtf("{\\uc99999\\u8226 abc\\par d}\\par e") << u"•\ne"_s;

    // What is not text.
    QTest::newRow("bin") << rtf("a\\bin5 {}\\}{b") << u"ab"_s;
    QTest::newRow("bin in picture")
        << rtf("{\\*\\shppict{\\pict\\pngblip\\bin4 }}}}}}ok") << u"ok"_s;
    QTest::newRow("ignorable destination") << rtf("a{\\*\\foo hidden {nested} text}b") << u"ab"_s;
    QTest::newRow("non-text destinations")
        << rtf("{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\header H}{\\footer F}"
               "{\\footnote N}{\\pict 0102}{\\object{\\objdata 01}}x")
        << u"x"_s;
    QTest::newRow("field result") << rtf("{\\field{\\*\\fldinst HYPERLINK \"http://a/\"}{\\fldrslt link}}")
                                  << u"link"_s;
    QTest::newRow("field result plain inst") << rtf("{\\field{\\fldinst PAGE}{\\fldrslt 7}}") << u"7"_s;
    QTest::newRow("hidden text") << rtf("a{\\v secret}b") << u"ab"_s;
    QTest::newRow("font table") << QByteArray("{\\rtf1{\\fonttbl\\f0 Arial;\\f1 Times;}x}") << u"x"_s;

    addDamagedInputRows();
}

void tst_RtfReader::text()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QTextDocument doc;
    const RtfResult result = loadRtf(input, doc);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(textOf(doc), expected);
}

// GCC 12 asks for every field of a designated initializer, defaults or not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
void tst_RtfReader::charFormat_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("word");
    QTest::addColumn<Look>("look");

    const QByteArray fonts = "{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss\\fcharset0 Arial;}"
                             "{\\f2{\\*\\panose 020b0604}Liberation{\\*\\falt Other} Sans;}}";
    const QByteArray colors = "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;"
                              "\\red999\\green-4\\blue128;;}";
    const QByteArray twoFonts = "{\\rtf1\\deff1{\\fonttbl{\\f0 Alpha;}{\\f1 Beta;}}";
    const auto row = [](const char *name, const QByteArray &input, const QString &word, const Look &look) {
        QTest::newRow(name) << input << word << look;
    };

    row("default", rtf("x"), u"x"_s, {});
    row("bold on", rtf("\\b on\\b0  off"), u"on"_s, {.bold = true});
    row("bold off", rtf("\\b on\\b0  off"), u"off"_s, {});
    row("italic underline", rtf("\\i\\ul both"), u"both"_s, {.italic = true, .underline = true});
    row("ulnone", rtf("\\ul u\\ulnone  n"), u"n"_s, {});
    row("ul0", rtf("\\uldb u\\ul0  n"), u"n"_s, {});
    row("inside group", rtf("{\\b\\i in} out"), u"in"_s, {.bold = true, .italic = true});
    row("after group", rtf("{\\b\\i in} out"), u"out"_s, {});
    row("plain", rtf("\\b\\i\\ul\\fs40 x\\plain  y"), u"y"_s, {});
    row("font 1", rtf(fonts + "\\f1 sans \\f0 serif"), u"sans"_s, {.family = u"Arial"_s});
    row("font 0", rtf(fonts + "\\f1 sans \\f0 serif"), u"serif"_s, {.family = u"Times New Roman"_s});
    row("font name around groups", rtf(fonts + "\\f2 x"), u"x"_s, {.family = u"Liberation Sans"_s});
    row("font without semicolon", "{\\rtf1{\\fonttbl{\\f0 Alpha}{\\f1 Beta}}\\f1 x}", u"x"_s,
        {.family = u"Beta"_s});
    row("unknown font", rtf(fonts + "\\f7 x"), u"x"_s, {});
    row("deff", twoFonts + "x}", u"x"_s, {.family = u"Beta"_s});
    row("plain to deff", twoFonts + "\\f0 a\\plain  x}", u"x"_s, {.family = u"Beta"_s});
    row("fs", rtf("\\fs40 big"), u"big"_s, {.size = 20});
    row("fs odd", rtf("\\fs27 x"), u"x"_s, {.size = 13.5});
    row("fs negative", rtf("\\fs-20 x"), u"x"_s, {});
    row("fs zero", rtf("\\fs30\\fs0 x"), u"x"_s, {.size = 15});
    row("fs tiny", rtf("\\fs1\\super x"), u"x"_s, {.size = 2});
    row("fs 40 digits", rtf("\\fs1234567890123456789012345678901234567890 x"), u"x"_s, {.size = 1638});
    const QByteArray threeColors = rtf(colors + "\\cf2 blue\\cf1  red\\cf0  auto");
    row("cf2", threeColors, u"blue"_s, {.color = QColor(0, 0, 255)});
    row("cf1", threeColors, u"red"_s, {.color = QColor(255, 0, 0)});
    row("cf0", threeColors, u"auto"_s, {});
    row("cf clamped components", rtf(colors + "\\cf3 x"), u"x"_s, {.color = QColor(255, 0, 128)});
    row("cf auto entry", rtf(colors + "\\cf4 x"), u"x"_s, {});
    row("cf out of range", rtf(colors + "\\cf9 x\\cf-1 y"), u"x"_s, {});
    row("restored after deep nesting",
        rtf(QByteArray("{\\b ").repeated(10000) + "x" + QByteArray(10000, '}') + " plain"), u"plain"_s, {});
    row("bold kept below the cap", rtf("{\\b " + QByteArray(900, '{') + "deep" + QByteArray(901, '}')),
        u"deep"_s, {.bold = true});
}
#pragma GCC diagnostic pop

void tst_RtfReader::charFormat()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, word);
    QFETCH(Look, look);
    QTextDocument doc;
    QVERIFY(loadRtf(input, doc).ok);
    const QTextCharFormat f = formatOf(doc, word);
    QVERIFY2(f.isValid(), "the word is not in the document");

    QCOMPARE(f.fontWeight() >= QFont::Bold, look.bold);
    QCOMPARE(f.fontItalic(), look.italic);
    QCOMPARE(f.fontUnderline(), look.underline);
    QCOMPARE(f.fontPointSize(), look.size);
    QCOMPARE(f.fontFamilies().toStringList().value(0), look.family);
    QCOMPARE(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor(), look.color);
}

void tst_RtfReader::paragraphFormat_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<qreal>("leftMargin");
    QTest::addColumn<qreal>("textIndent");
    QTest::addColumn<qreal>("tab"); // the one tab stop of a hanging first line; -1: none

    const int left = Qt::AlignLeft;
    const QByteArray four = rtf("\\qc c\\par\\qr r\\par\\qj j\\par\\ql l");
    QTest::newRow("qc") << four << 0 << int(Qt::AlignHCenter) << 0.0 << 0.0 << -1.0;
    QTest::newRow("qr") << four << 1 << int(Qt::AlignRight) << 0.0 << 0.0 << -1.0;
    QTest::newRow("qj") << four << 2 << int(Qt::AlignJustify) << 0.0 << 0.0 << -1.0;
    QTest::newRow("ql") << four << 3 << left << 0.0 << 0.0 << -1.0;
    QTest::newRow("last paragraph without par") << rtf("a\\par\\qc b") << 1 << int(Qt::AlignHCenter)
                                                << 0.0 << 0.0 << -1.0;
    QTest::newRow("pard resets") << rtf("\\qc\\li600 a\\par\\pard b") << 1 << left << 0.0 << 0.0 << -1.0;
    QTest::newRow("kept without pard") << rtf("\\qc a\\par b") << 1 << int(Qt::AlignHCenter) << 0.0
                                       << 0.0 << -1.0;
    QTest::newRow("group scope") << rtf("{\\qc a\\par}b") << 1 << left << 0.0 << 0.0 << -1.0;
    QTest::newRow("hanging indent") << rtf("\\li720\\fi-360 x") << 0 << left << 48.0 << -24.0 << 24.0;
    QTest::newRow("indent past the edge") << rtf("\\li150\\fi-9000 x") << 0 << left << 10.0 << -10.0 << 10.0;
    QTest::newRow("negative left") << rtf("\\li-900 x") << 0 << left << 0.0 << 0.0 << -1.0;
    // Text beyond what is held back goes in before the paragraph's format is known.
    QTest::newRow("long paragraph")
        << rtf("a\\par " + QByteArray(200000, 'x') + "\\qc\\li300\\fi-150\\par b") << 1
        << int(Qt::AlignHCenter) << 20.0 << -10.0 << 10.0;
    QTest::newRow("huge indent") << rtf("\\li99999999999 x") << 0 << left << 2112.0 << 0.0 << -1.0;
}

void tst_RtfReader::paragraphFormat()
{
    QFETCH(QByteArray, input);
    QFETCH(int, block);
    QTextDocument doc;
    QVERIFY(loadRtf(input, doc).ok);
    const QTextBlock b = doc.findBlockByNumber(block);
    QVERIFY(b.isValid());
    const QTextBlockFormat f = b.blockFormat();
    QTEST(int(f.alignment() & Qt::AlignHorizontal_Mask), "alignment");
    QTEST(f.leftMargin(), "leftMargin");
    QTEST(f.textIndent(), "textIndent");
    const QList<QTextOption::Tab> tabs = f.tabPositions();
    QTEST(tabs.isEmpty() ? -1.0 : tabs.constFirst().position, "tab");
    QVERIFY(tabs.size() <= 1);
}

void tst_RtfReader::refused_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");

    const QString notRtf = u"it is not a Rich Text Format file"_s;
    QByteArray random = randomBytes(4096, 7);
    random[0] = 'x';
    QTest::newRow("empty") << QByteArray() << u"it is empty"_s;
    QTest::newRow("blanks") << QByteArray(" \r\n\t ") << u"it is empty"_s;
    QTest::newRow("byte order mark only") << QByteArray("\xEF\xBB\xBF\n") << u"it is empty"_s;
    QTest::newRow("html") << QByteArray("<html><body>hello</body></html>") << notRtf;
    QTest::newRow("random bytes") << random << notRtf;
    QTest::newRow("misspelt header") << QByteArray("{\\rtx1 a}") << notRtf;
    QTest::newRow("header later") << QByteArray("hello {\\rtf1 a}") << notRtf;
    QTest::newRow("nul first") << QByteArray("\0{\\rtf1 a}", 10) << notRtf;
}

void tst_RtfReader::refused()
{
    QFETCH(QByteArray, input);
    QTextDocument doc;
    doc.setPlainText(u"kept"_s);
    const RtfResult result = loadRtf(input, doc);
    QVERIFY(!result.ok);
    QTEST(result.error, "error");
    QCOMPARE(doc.toPlainText(), u"kept"_s);
}

void tst_RtfReader::file_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error"); // empty: read

    QTest::newRow("rtf") << u"rtf"_s << QString();
    QTest::newRow("missing") << u"missing"_s << u"it does not exist"_s;
    QTest::newRow("folder") << u"folder"_s << u"it is a folder"_s;
    QTest::newRow("empty") << u"empty"_s << u"it is empty"_s;
    QTest::newRow("text") << u"text"_s << u"it is not a Rich Text Format file"_s;
    QTest::newRow("dangling link") << u"dangling link"_s << u"it does not exist"_s;
#ifdef Q_OS_UNIX
    QTest::newRow("fifo") << u"fifo"_s << u"it is not a regular file"_s;
    QTest::newRow("unreadable") << u"unreadable"_s << u"it cannot be opened (Permission denied)"_s;
#endif
}

void tst_RtfReader::file()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"doc.rtf"_s);

    if (kind == u"rtf")
        QVERIFY(writeFile(path, rtf("{\\b Hello} file")));
    else if (kind == u"folder")
        QVERIFY(QDir(dir.path()).mkdir(u"doc.rtf"_s));
    else if (kind == u"empty")
        QVERIFY(writeFile(path, QByteArray()));
    else if (kind == u"text")
        QVERIFY(writeFile(path, "Hello file\n"));
    else if (kind == u"dangling link")
        QVERIFY(QFile::link(dir.filePath(u"gone.rtf"_s), path));
#ifdef Q_OS_UNIX
    else if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"unreadable") {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        QVERIFY(writeFile(path, rtf("x")));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
#endif

    QTextDocument doc;
    doc.setPlainText(u"kept"_s);
    const RtfResult result = loadRtfFile(path, doc);
    QCOMPARE(result.ok, error.isEmpty());
    QCOMPARE(result.error, error);
    if (result.ok) {
        QCOMPARE(doc.toPlainText(), u"Hello file"_s);
        QCOMPARE(formatOf(doc, u"Hello"_s).fontWeight(), int(QFont::Bold));
    } else {
        QCOMPARE(doc.toPlainText(), u"kept"_s);
    }
}

void tst_RtfReader::replacesWhatTheDocumentHeld()
{
    QTextDocument doc;
    QVERIFY(loadRtf(rtf("{\\fonttbl{\\f0 Alpha;}}\\deftab1440\\qc\\b first\\par second"), doc).ok);
    QCOMPARE(doc.defaultTextOption().tabStopDistance(), 96.0);
    QVERIFY(doc.isUndoRedoEnabled());
    QVERIFY(!doc.isUndoAvailable());

    QVERIFY(loadRtf(rtf("again"), doc).ok);
    QCOMPARE(textOf(doc), u"again"_s);
    QCOMPARE(doc.blockCount(), 1);
    const QTextCharFormat f = formatOf(doc, u"again"_s);
    QCOMPARE(f.fontWeight(), int(QFont::Normal));
    QVERIFY(f.fontFamilies().toStringList().isEmpty());
    QCOMPARE(int(doc.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask),
             int(Qt::AlignLeft));
    QCOMPARE(doc.defaultTextOption().tabStopDistance(), 48.0);
    QVERIFY(!doc.isUndoAvailable());
}

// The help file the program ships reads through the reader as intended: no syntax shows
// as text, the headings and the warning are set apart, and every bullet is a bullet.
void tst_RtfReader::helpFileReads()
{
    const QString path = QFINDTESTDATA("../resources/hv.hlp.rtf");
    QVERIFY2(!path.isEmpty(), "resources/hv.hlp.rtf not found");
    QTextDocument doc;
    const RtfResult result = loadRtfFile(path, doc);
    QVERIFY2(result.ok, qPrintable(result.error));

    const QString text = textOf(doc);
    for (const QChar c : u"\\{}?\uFFFD"_s)
        QVERIFY2(!text.contains(c), qPrintable(u"found "_s + c));
    QVERIFY(text.startsWith(u"Halvane Help and Info\n"_s));
    QVERIFY(!text.contains(u"\n\n"_s));
    QVERIFY(text.contains(u"\u2022\tNew (Ctrl+N) opens a new numbered document window"_s));
    QVERIFY(text.contains(u"500\u00A0ms"_s));
    QVERIFY(text.contains(u"Marrowdyne Quillpost"_s));
    QVERIFY(text.contains(u"\u201CWorking...\u201D while"_s));
    QVERIFY(text.contains(u"address.lst"_s));

    const QTextCharFormat title = formatOf(doc, u"Help and Info"_s);
    QCOMPARE(title.fontWeight(), int(QFont::Bold));
    QCOMPARE(title.fontPointSize(), 18.0);
    QCOMPARE(int(doc.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask),
             int(Qt::AlignHCenter));
    QCOMPARE(formatOf(doc, u"The toolbar"_s).fontPointSize(), 13.0);
    QCOMPARE(formatOf(doc, u"The toolbar"_s).fontWeight(), int(QFont::Bold));
    QCOMPARE(formatOf(doc, u"Long Friggin Time!"_s).fontWeight(), int(QFont::Bold));
    QCOMPARE(formatOf(doc, u"Long Friggin Time!"_s).foreground().color(), QColor(153, 0, 0));
    QCOMPARE(formatOf(doc, u"keep many pages"_s).fontWeight(), int(QFont::Normal));
    QCOMPARE(formatOf(doc, u"keep many pages"_s).fontPointSize(), 10.0);
    QCOMPARE(formatOf(doc, u"keep many pages"_s).fontFamilies().toStringList(), QStringList{u"Arial"_s});
}

void tst_RtfReader::everyWayInMeetsTheLimit_data()
{
    QTest::addColumn<QByteArray>("input");
    const int n = 20'000'000;
    QTest::newRow("plain text") << rtf(QByteArray("A").repeated(n));
    QTest::newRow("\\'hh escapes") << rtf(QByteArray("\\'41").repeated(n));
    QTest::newRow("\\u escapes") << rtf(QByteArray("\\u65?").repeated(n));
    QTest::newRow("font name of escapes")
        << rtf("{\\fonttbl{\\f0 " + QByteArray("\\'41").repeated(n / 20) + ";}}\\f0 A");
}

// The checked build (AddressSanitizer, -O1) runs the reader several times slower; the
// bounds below are there to catch work that grows with the whole input, which stays far
// past them either way.
#ifdef __SANITIZE_ADDRESS__
constexpr int sanitizerSlowdown = 4;
#else
constexpr int sanitizerSlowdown = 1;
#endif

// The help viewer shows a bounded beginning of any file: however the text is written,
// reading stops soon after the limit. \'hh escapes once went past it and gathered the
// whole file's text first (half a gigabyte and seconds for 60 million of them).
void tst_RtfReader::everyWayInMeetsTheLimit()
{
    QFETCH(QByteArray, input);
    constexpr qsizetype limit = 1000;
    QTextDocument doc;
    QElapsedTimer timer;
    timer.start();
    const RtfResult result = loadRtf(input, doc, limit);
    const qint64 ms = timer.elapsed();
    QVERIFY(result.ok);
    QVERIFY(doc.characterCount() - 1 <= limit);
    // Reading all of it takes several hundred ms here; stopping early, a few.
    QVERIFY2(ms < 150 * sanitizerSlowdown, qPrintable(QString::number(ms)));
    const QStringList families = doc.begin().charFormat().fontFamilies().toStringList();
    QVERIFY(families.isEmpty() || families.first().size() <= 255);
}

void tst_RtfReader::largeInputs_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("blocks"); // -1: any number
    QTest::addColumn<int>("withinMs"); // -1: finishing is enough

    const qsizetype megabyte = 1024 * 1024;
    QByteArray random = randomBytes(100 * megabyte, 100);
    if (random.startsWith('{'))
        random[0] = 'x';
    QTest::newRow("100 MB random bytes") << random << false << -1 << -1;

    // With a header and no closing brace every byte goes through the reader: groups nest
    // far past the cap, words and \bin come at random.
    random.replace('}', '{');
    QTest::newRow("100 MB random bytes as RTF") << QByteArray("{\\rtf1 " + random) << true << -1 << -1;
    // Without any syntax all of it is text for the document.
    random.replace('{', 'x').replace('\\', 'x');
    QTest::newRow("100 MB random text") << QByteArray("{\\rtf1 " + random) << true << -1 << -1;
    random.clear();

    const QByteArray line = "Line with {\\b bold}, {\\i italic} and caf\\'e9 text \\u8364? in it.\\par\r\n";
    const int lines = int(10 * megabyte / line.size());
    QTest::newRow("10 MB plain document")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0\\fs20 " + line.repeated(lines) + "}") << true
        << lines << -1;

    // Every unknown code page was once remembered and searched one by one: time grew with
    // the square of their number (some seconds for this one).
    QByteArray pages = "{\\rtf1 ";
    for (int i = 0; i < 400000; ++i)
        pages += "\\ansicpg" + QByteArray::number(100000 + i) + " \\'e9";
    QTest::newRow("400,000 unknown code pages") << QByteArray(pages + '}') << true << -1 << 5000;
}

// Assert only that big input finishes, whatever the machine (the time goes to the log),
// or, where slowness once was a fault, that it finishes well within a bound.
void tst_RtfReader::largeInputs()
{
    QFETCH(QByteArray, input);
    QFETCH(int, blocks);
    QFETCH(int, withinMs);
    QTextDocument doc;
    QElapsedTimer timer;
    timer.start();
    const RtfResult result = loadRtf(input, doc);
    qInfo("%lld MB read in %lld ms", qlonglong(input.size() >> 20), qlonglong(timer.elapsed()));
    QTEST(result.ok, "ok");
    if (withinMs >= 0)
        QVERIFY2(timer.elapsed() < withinMs * sanitizerSlowdown, qPrintable(QString::number(timer.elapsed())));
    if (blocks >= 0) {
        QCOMPARE(doc.blockCount(), blocks);
        QCOMPARE(doc.lastBlock().text(), u"Line with bold, italic and café text € in it."_s);
    }
}

QTEST_GUILESS_MAIN(tst_RtfReader)
#include "tst_rtfreader.moc"
