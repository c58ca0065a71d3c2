#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

// The layers and the folders each may include from: a layer reaches only those below it,
// and the document windows (browser) and the tools panel (windows) meet only in shared.
// The libraries in the folders' CMakeLists.txt link the same way.
static const QMap<QString, QStringList> mayInclude{
    {u"system"_s, {u"system"_s}},
    {u"formats"_s, {u"formats"_s}},
    {u"shared"_s, {u"shared"_s}},
    {u"engine"_s, {u"engine"_s, u"system"_s}},
    {u"favorites"_s, {u"favorites"_s, u"formats"_s, u"system"_s}},
    {u"browser"_s, {u"browser"_s, u"shared"_s, u"engine"_s, u"system"_s}},
    {u"windows"_s, {u"windows"_s, u"shared"_s, u"favorites"_s, u"system"_s, u"formats"_s}},
    {u"app"_s,
     {u"app"_s, u"browser"_s, u"windows"_s, u"shared"_s, u"favorites"_s, u"engine"_s, u"formats"_s, u"system"_s}},
};

// Single headers a layer may include beyond its row: the engine's seams a window needs,
// which are interfaces only, so the windows do not link the engine.
static const QMap<QString, QStringList> mayAlsoInclude{
    // Internet Options deletes cookies, site data and cached files through it.
    {u"windows"_s, {u"engine/browsingdata.h"_s}},
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

// Whether the include line names one of the headers layer may include beyond its row.
static bool allowedAlone(const QString &layer, const QString &line)
{
    const QStringList headers = mayAlsoInclude.value(layer);
    return std::any_of(headers.cbegin(), headers.cend(), [&line](const QString &header) {
        return line.contains(u'"' + header + u'"');
    });
}

// "file:line: include" for every include the layer's table row does not allow.
static QStringList forbiddenIncludes(const QString &layer, const QString &file, const QString &text)
{
    QStringList found;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString folder = includedFolder(lines[i]);
        if (!folder.isEmpty() && !mayInclude.value(layer).contains(folder) && !allowedAlone(layer, lines[i]))
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
    QTest::newRow("down") << u"app"_s << u"#include \"system/twips.h\""_s << true;
    QTest::newRow("no folder") << u"windows"_s << u"#include \"version.h\""_s << true;
    QTest::newRow("Qt's") << u"system"_s << u"#include <QtCore/QString>"_s << true;
    QTest::newRow("up") << u"system"_s << u"#include \"browser/frmBrowser.h\""_s << false;
    QTest::newRow("sideways") << u"browser"_s << u"#include \"windows/frmtool2.h\""_s << false;
    QTest::newRow("sideways back") << u"windows"_s << u"#include \"browser/linkping.h\""_s << false;
    QTest::newRow("shared stands alone") << u"shared"_s << u"#include \"system/twips.h\""_s << false;
    QTest::newRow("engine on the system") << u"engine"_s << u"#include \"system/settingsstore.h\""_s << true;
    QTest::newRow("the system below the engine") << u"system"_s << u"#include \"engine/webbrowser.h\""_s << false;
    QTest::newRow("formats stand alone") << u"formats"_s << u"#include \"engine/webbrowser.h\""_s << false;
    QTest::newRow("formats not from the system") << u"formats"_s << u"#include \"system/quietlog.h\""_s << false;
    QTest::newRow("engine without formats") << u"engine"_s << u"#include \"formats/rtfreader.h\""_s << false;
    QTest::newRow("browser without formats") << u"browser"_s << u"#include \"formats/rtfreader.h\""_s << false;
    QTest::newRow("help viewer reads formats") << u"windows"_s << u"#include \"formats/rtfreader.h\""_s << true;
    QTest::newRow("a window's engine seam") << u"windows"_s << u"#include \"engine/browsingdata.h\""_s << true;
    QTest::newRow("favorites on their formats") << u"favorites"_s << u"#include \"formats/favoritesjson.h\""_s << true;
    QTest::newRow("favorites without windows") << u"favorites"_s << u"#include \"windows/organizefavorites.h\""_s << false;
    QTest::newRow("favorites without the engine") << u"favorites"_s << u"#include \"engine/browsingdata.h\""_s << false;
    QTest::newRow("the organize window on favorites") << u"windows"_s << u"#include \"favorites/favoritesstore.h\""_s << true;
    QTest::newRow("no favorites below them") << u"formats"_s << u"#include \"favorites/favoritesmodel.h\""_s << false;
    QTest::newRow("no more of the engine") << u"windows"_s << u"#include \"engine/webbrowser.h\""_s << false;
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
