#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The layers and the folders each may include from: a layer reaches only those below it,
// and the document windows (browser) and the tools panel (windows) meet only in shared.
// The libraries in the folders' CMakeLists.txt link the same way.
static const QMap<QString, QStringList> mayInclude{
    {u"platform"_s, {u"platform"_s}},
    {u"shared"_s, {u"shared"_s}},
    {u"browser"_s, {u"browser"_s, u"shared"_s, u"platform"_s}},
    {u"windows"_s, {u"windows"_s, u"shared"_s, u"platform"_s}},
    {u"app"_s, {u"app"_s, u"browser"_s, u"windows"_s, u"shared"_s, u"platform"_s}},
};

// The folder an include line reaches into: the first part of a quoted path that has one
// (so "../x/y.h" reaches ".."), or of a bracketed path that names one of our layers.
// Empty for other lines and for includes of a file with no folder (generated, moc).
static QString includedFolder(const QString &line)
{
    // No raw string here: moc misreads one with quotes inside and skips the class.
    static const QRegularExpression include(u"^\\s*#\\s*include\\s*([<\"])([^>\"]*)[>\"]"_s);
    const QRegularExpressionMatch m = include.match(line);
    if (!m.hasMatch())
        return {};
    const QString path = m.captured(2);
    const qsizetype slash = path.indexOf(u'/');
    if (slash < 0)
        return {};
    const QString folder = path.left(slash);
    // <QtCore/QString> and the system's headers are no layer's.
    if (m.captured(1) == u"<"_s && !mayInclude.contains(folder))
        return {};
    return folder;
}

// "file:line: include" for every include the layer's table row does not allow.
static QStringList forbiddenIncludes(const QString &layer, const QString &file, const QString &text)
{
    QStringList found;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString folder = includedFolder(lines[i]);
        if (!folder.isEmpty() && !mayInclude.value(layer).contains(folder))
            found << u"%1:%2: %3 (%4 may not include %5)"_s.arg(file).arg(i + 1).arg(lines[i].trimmed(), layer, folder);
    }
    return found;
}

// No lower layer reaches a higher one, and no layer reaches sideways.
class tst_Layers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void includeRule_data();
    void includeRule();
    void sourcesKeepToTheirLayers();
};

void tst_Layers::includeRule_data()
{
    QTest::addColumn<QString>("layer");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("own layer") << u"browser"_s << u"#include \"browser/linkping.h\""_s << true;
    QTest::newRow("down") << u"app"_s << u"#include \"platform/twips.h\""_s << true;
    QTest::newRow("no folder") << u"windows"_s << u"#include \"version.h\""_s << true;
    QTest::newRow("Qt's") << u"platform"_s << u"#include <QtCore/QString>"_s << true;
    QTest::newRow("up") << u"platform"_s << u"#include \"browser/frmBrowser.h\""_s << false;
    QTest::newRow("sideways") << u"browser"_s << u"#include \"windows/frmtool2.h\""_s << false;
    QTest::newRow("sideways back") << u"windows"_s << u"#include \"browser/linkping.h\""_s << false;
    QTest::newRow("shared stands alone") << u"shared"_s << u"#include \"platform/twips.h\""_s << false;
    QTest::newRow("spaced, commented") << u"browser"_s << u"  #  include \"app/frmMain.h\" // x"_s << false;
    QTest::newRow("bracketed") << u"windows"_s << u"#include <app/frmMain.h>"_s << false;
    QTest::newRow("relative") << u"browser"_s << u"#include \"../windows/frmtool2.h\""_s << false;
    QTest::newRow("tests' own") << u"app"_s << u"#include \"support/testplatform.h\""_s << false;
}

void tst_Layers::includeRule()
{
    QFETCH(QString, layer);
    QFETCH(QString, line);
    QFETCH(bool, allowed);
    QCOMPARE(forbiddenIncludes(layer, u"f.cpp"_s, u"// x\n"_s + line).isEmpty(), allowed);
}

void tst_Layers::sourcesKeepToTheirLayers()
{
    const QDir root(QStringLiteral(HALVANE_SOURCE_DIR));
    QStringList forbidden;
    for (auto layer = mayInclude.cbegin(); layer != mayInclude.cend(); ++layer) {
        int files = 0;
        QDirIterator it(root.filePath(layer.key()), {u"*.h"_s, u"*.cpp"_s}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            ++files;
            forbidden << forbiddenIncludes(layer.key(), root.relativeFilePath(f.fileName()),
                                           QString::fromUtf8(f.readAll()));
        }
        // A wrong source folder must not pass for a clean one.
        QVERIFY2(files > 0, qPrintable(u"no sources under "_s + root.filePath(layer.key())));
    }
    QVERIFY2(forbidden.isEmpty(), qPrintable(forbidden.join(u'\n')));
}

QTEST_GUILESS_MAIN(tst_Layers)
#include "tst_layers.moc"
