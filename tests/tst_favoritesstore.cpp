#include "favorites/favoritesstore.h"
#include "formats/bookmarkshtml.h"
#include "formats/favoritesjson.h"
#include "support/bookmarktrees.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace bookmarktrees;

namespace {

const QList<Bookmark> Sample{favorite(u"Top"_s, u"https://top.test/"_s, 1700000000),
                             folder(u"News & more"_s, {favorite(u"<b>Paper</b>"_s, u"https://paper.test/?a=1&b=2"_s)},
                                    1600000000),
                             folder(u"Empty"_s, {})};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The files set aside beside the favorites file.
QStringList setAside(const QDir &folder)
{
    return folder.entryList({u"favorites.json.damaged-*"_s}, QDir::Files | QDir::Dirs | QDir::Hidden);
}

} // namespace

// The favorites file: written atomically after each change, read back tolerantly; a
// damaged file is set aside with a word to the user, never lost; one Halvane writes it.
class tst_FavoritesStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changesReadBackTheSame();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void secondHalvaneChangesNothing();
    void writeThatFailsIsTold();
    void importAndExport_data();
    void importAndExport();
    void modelKeepsToTheFileRules_data();
    void modelKeepsToTheFileRules();
};

void tst_FavoritesStore::changesReadBackTheSame()
{
    QTemporaryDir home;
    const QString folder = home.filePath(u"data/Halvane"_s);
    {
        FavoritesStore store(folder);
        QVERIFY(store.notice().isEmpty());
        QVERIFY(store.readOnlyReason().isEmpty());
        FavoritesModel &model = store.model();
        QVERIFY(model.addFavorite({}, u"Top"_s, u"https://top.test/"_s).isValid());
        const QModelIndex news = model.addFolder({}, u"News & more"_s);
        QVERIFY(model.addFavorite(news, u"<b>Paper</b>"_s, u"https://paper.test/?a=1&b=2"_s).isValid());
        QVERIFY(model.addFolder({}, u"Empty"_s).isValid());
        QVERIFY(model.setData(model.index(0, FavoritesModel::NameColumn), u"  Top\tpage "_s));
        store.flush();
    }
    const QString path = QDir(folder).filePath(u"favorites.json"_s);
    QCOMPARE(QFile::permissions(path) & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
             QFile::Permissions());
    const favoritesjson::ReadResult file = favoritesjson::read(readAll(path));
    QVERIFY2(file.damage.isEmpty(), qPrintable(file.damage));
    QVERIFY(readAll(path).contains("\"version\": 1"));

    FavoritesStore again(folder);
    QVERIFY(again.notice().isEmpty());
    QStringList names;
    const QList<Bookmark> tree = again.model().tree();
    QCOMPARE(describe(tree).replace(QRegularExpression(u" @\\d+"_s), u" @t"_s),
             u"Top page -> https://top.test/ @t\n[News & more] @t\n  <b>Paper</b> -> https://paper.test/?a=1&b=2 @t\n"
             "[Empty] @t"_s);
    QVERIFY(tree == file.tree);
}

void tst_FavoritesStore::damagedFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");         // in the notice
    QTest::addColumn<QList<Bookmark>>("kept"); // what is read of it

    const QByteArray whole = favoritesjson::write(Sample);
    QTest::newRow("cut in half") << whole.left(whole.size() / 2) << u"not whole JSON"_s << QList<Bookmark>{};
    QTest::newRow("empty") << QByteArray() << u"not whole JSON"_s << QList<Bookmark>{};
    QTest::newRow("not JSON") << QByteArray("<html>favorites</html>") << u"not whole JSON"_s << QList<Bookmark>{};
    QTest::newRow("not UTF-8") << QByteArray("{\"version\": 1, \"favorites\": [\xff\xfe]}") << u"not whole JSON"_s
                               << QList<Bookmark>{};
    QTest::newRow("a later version") << QByteArray(whole).replace("\"version\": 1", "\"version\": 2")
                                     << u"version 2 is not one"_s << QList<Bookmark>{};
    QTest::newRow("version as text") << QByteArray(whole).replace("\"version\": 1", "\"version\": \"1\"")
                                     << u"no version"_s << QList<Bookmark>{};
    QTest::newRow("a list, not an object") << QByteArray("[1, 2]") << u"no version"_s << QList<Bookmark>{};
    QTest::newRow("favorites not a list") << QByteArray("{\"version\": 1, \"favorites\": {}}")
                                          << u"no list of favorites"_s << QList<Bookmark>{};
    QTest::newRow("wrong types in entries")
        << QByteArray("{\"version\": 1, \"favorites\": ["
                      "{\"name\": \"Good\", \"address\": \"https://good.test/\"},"
                      "{\"name\": 5, \"address\": \"https://bad.test/\"},"
                      "{\"name\": \"Both\", \"address\": \"https://bad.test/\", \"children\": []},"
                      "{\"name\": \"Run\", \"address\": \"javascript:alert(1)\"},"
                      "{\"name\": \"When\", \"address\": \"https://bad.test/\", \"added\": \"today\"},"
                      "{\"name\": \"Huge\", \"address\": \"https://bad.test/\", \"added\": 1e300},"
                      "{\"name\": \"Folder\", \"children\": \"none\"},"
                      "\"text\", null,"
                      "{\"name\": \"Kept\", \"children\": [{\"name\": \"In\", \"address\": \"ftp://in.test/\"}, 7]}]}")
        << u"9 entries in it could not be read"_s
        << QList<Bookmark>{favorite(u"Good"_s, u"https://good.test/"_s),
                           folder(u"Kept"_s, {favorite(u"In"_s, u"ftp://in.test/"_s)})};
    QString deep = u"{\"name\": \"x\", \"address\": \"https://deep.test/\"}"_s;
    for (int i = 0; i <= bookmarks::MaxDepth; ++i)
        deep = u"{\"name\": \"f\", \"children\": [%1]}"_s.arg(deep);
    // Every folder kept, the innermost empty.
    Bookmark innermost = folder(u"f"_s, {});
    for (int i = 0; i < bookmarks::MaxDepth; ++i)
        innermost = folder(u"f"_s, {innermost});
    QTest::newRow("too deep") << (u"{\"version\": 1, \"favorites\": [%1]}"_s.arg(deep)).toUtf8()
                              << u"an entry in it could not be read"_s << QList<Bookmark>{innermost};
}

void tst_FavoritesStore::damagedFileIsSetAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    QFETCH(QList<Bookmark>, kept);
    QTemporaryDir folder;
    const QDir dir(folder.path());
    const QString path = dir.filePath(u"favorites.json"_s);
    QVERIFY(writeAll(path, bytes));
    // An earlier file set aside, and the rest of the folder, stay as they are.
    QVERIFY(writeAll(dir.filePath(u"favorites.json.damaged-20200101-000000"_s), "earlier"));
    QVERIFY(writeAll(dir.filePath(u"Cookies"_s), "cookies"));

    {
        FavoritesStore store(folder.path());
        QVERIFY2(store.notice().contains(why), qPrintable(store.notice()));
        QVERIFY(store.readOnlyReason().isEmpty());
        QCOMPARE(describe(store.model().tree()), describe(kept));
        QStringList aside = setAside(dir);
        QCOMPARE(aside.size(), 2);
        aside.removeOne(u"favorites.json.damaged-20200101-000000"_s);
        QVERIFY2(store.notice().contains(aside.constFirst()), qPrintable(store.notice()));
        QCOMPARE(readAll(dir.filePath(aside.constFirst())), bytes);
        QVERIFY(!QFile::exists(path));
        // The next change writes a new file; what was set aside stays.
        QVERIFY(store.model().addFavorite({}, u"New"_s, u"https://new.test/"_s).isValid());
        store.flush();
        QCOMPARE(readAll(dir.filePath(aside.constFirst())), bytes);
    }
    QCOMPARE(readAll(dir.filePath(u"favorites.json.damaged-20200101-000000"_s)), "earlier");
    QCOMPARE(readAll(dir.filePath(u"Cookies"_s)), "cookies");
    const favoritesjson::ReadResult now = favoritesjson::read(readAll(path));
    QVERIFY(now.damage.isEmpty());
    QCOMPARE(now.tree.size(), kept.size() + 1);
}

void tst_FavoritesStore::secondHalvaneChangesNothing()
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(u"favorites.json"_s);
    QVERIFY(writeAll(path, favoritesjson::write(Sample)));
    auto first = std::make_unique<FavoritesStore>(folder.path());
    QVERIFY(first->readOnlyReason().isEmpty());
    {
        FavoritesStore second(folder.path());
        QVERIFY2(second.readOnlyReason().contains(u"another Halvane"_s), qPrintable(second.readOnlyReason()));
        QVERIFY(second.model().tree() == Sample);
        QVERIFY(!second.model().addFavorite({}, u"x"_s, u"https://x.test/"_s).isValid());
        QVERIFY(!second.model().addFolder({}, u"x"_s).isValid());
        QVERIFY(!second.model().setData(second.model().index(0, 0), u"renamed"_s));
        QVERIFY(!second.model().removeRows(0, 1));
        QCOMPARE(second.model().flags(second.model().index(1, 0)) & (Qt::ItemIsEditable | Qt::ItemIsDragEnabled),
                 Qt::ItemFlags());
        QVERIFY(second.importHtml(path).startsWith(u"Nothing was imported"_s));
        // Its own copy goes out as an export still.
        QVERIFY(second.exportHtml(folder.filePath(u"out.html"_s)).startsWith(u"Exported"_s));
        // The first one goes on changing the file meanwhile.
        QVERIFY(first->model().addFavorite({}, u"First's"_s, u"https://first.test/"_s).isValid());
        first->flush();
    }
    const favoritesjson::ReadResult file = favoritesjson::read(readAll(path));
    QCOMPARE(file.tree.size(), Sample.size() + 1);
    // Once the first has gone, the next one keeps them.
    first.reset();
    FavoritesStore next(folder.path());
    QVERIFY(next.readOnlyReason().isEmpty());
    QCOMPARE(next.model().rowCount(), Sample.size() + 1);
}

void tst_FavoritesStore::writeThatFailsIsTold()
{
    QTemporaryDir folder;
    FavoritesStore store(folder.path());
    QSignalSpy failed(&store, &FavoritesStore::writeFailed);
    // A folder where the file goes: no write can replace it.
    QVERIFY(QDir(folder.path()).mkdir(u"favorites.json"_s));
    QVERIFY(store.model().addFavorite({}, u"x"_s, u"https://x.test/"_s).isValid());
    store.flush();
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QCOMPARE(store.model().rowCount(), 1);
}

void tst_FavoritesStore::importAndExport_data()
{
    QTest::addColumn<QByteArray>("html"); // empty: a file too large to read
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("folders"); // at the top afterwards

    const QByteArray list = "<DL><p><DT><H3>F</H3><DL><p><DT><A HREF=\"https://a.test/\">a</A></DL>"
                            "<DT><A HREF=\"javascript:x\">x</A><DT><A HREF=\"https://b.test/\">b</A></DL>";
    QTest::newRow("a bookmarks file")
        << list << u"Imported 3 entries into the folder \"Imported from in.html\". Left out: 1 entry with an address"_s
        << 2;
    QTest::newRow("no favorites in it") << QByteArray("<DL><p></DL>") << u"in.html holds no favorites"_s << 1;
    QTest::newRow("not a bookmarks file") << QByteArray("{}") << u"in.html is not a bookmarks file"_s << 1;
    QTest::newRow("too large") << QByteArray() << u"it is larger than 64 MiB"_s << 1;
}

void tst_FavoritesStore::importAndExport()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, said);
    QFETCH(int, folders);
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in.html"_s);
    if (html.isEmpty()) {
        QFile big(in);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(bookmarks::MaxFileBytes + 1));
    } else {
        QVERIFY(writeAll(in, html));
    }
    FavoritesStore store(dir.filePath(u"data"_s));
    store.model().setTree({folder(u"Mine"_s, {favorite(u"m"_s, u"https://m.test/"_s)})});
    const QString told = store.importHtml(in);
    QVERIFY2(told.contains(said), qPrintable(told));
    QCOMPARE(store.model().rowCount(), folders);

    const QString out = dir.filePath(u"out.html"_s);
    QVERIFY(store.exportHtml(out).startsWith(u"Exported"_s));
    const bookmarkshtml::ReadResult back = bookmarkshtml::read(readAll(out));
    QCOMPARE(describe(back.tree), describe(store.model().tree()));
    QVERIFY(back.tree == store.model().tree());
    QVERIFY(store.exportHtml(dir.filePath(u"no/such/folder/out.html"_s)).startsWith(u"Nothing was exported"_s));
}

namespace {

using Edit = std::function<bool(FavoritesModel &)>;

// Drags the entry at path (rows from the top) onto the folder at path as the view
// does: the drop makes a copy, then the view removes the original.
Edit drag(const QList<int> &from, const QList<int> &onto, int row = -1)
{
    return [=](FavoritesModel &model) {
        auto at = [&model](const QList<int> &path) {
            QModelIndex index;
            for (int r : path)
                index = model.index(r, 0, index);
            return index;
        };
        const QPersistentModelIndex source = at(from);
        std::unique_ptr<QMimeData> data(model.mimeData({source}));
        if (!model.canDropMimeData(data.get(), Qt::MoveAction, row, 0, at(onto))
            || !model.dropMimeData(data.get(), Qt::MoveAction, row, 0, at(onto)))
            return false;
        return model.removeRows(source.row(), 1, source.parent());
    };
}

} // namespace

void tst_FavoritesStore::modelKeepsToTheFileRules_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("tree"); // afterwards, from Sample

    const QString sample = describe(Sample);
    QTest::newRow("a favorite into a folder") << drag({0}, {1}) << true
                                              << u"[News & more] @1600000000\n  <b>Paper</b> -> https://paper.test/?a=1&b=2 @-\n"
                                                 "  Top -> https://top.test/ @1700000000\n[Empty] @-"_s;
    QTest::newRow("a folder into another, first") << drag({1}, {2}, 0) << true
                                                  << u"Top -> https://top.test/ @1700000000\n[Empty] @-\n"
                                                     "  [News & more] @1600000000\n    <b>Paper</b> -> https://paper.test/?a=1&b=2 @-"_s;
    QTest::newRow("out to the top") << drag({1, 0}, {}, 0) << true
                                    << u"<b>Paper</b> -> https://paper.test/?a=1&b=2 @-\nTop -> https://top.test/ @1700000000\n"
                                       "[News & more] @1600000000\n[Empty] @-"_s;
    QTest::newRow("a folder into itself") << drag({1}, {1}) << false << sample;
    QTest::newRow("onto a favorite") << drag({2}, {0}) << false << sample;
    QTest::newRow("an address that runs") << Edit([](FavoritesModel &m) {
        return m.addFavorite({}, u"x"_s, u"javascript:alert(1)"_s).isValid();
    }) << false << sample;
    QTest::newRow("changed to one") << Edit([](FavoritesModel &m) {
        return m.setData(m.index(0, FavoritesModel::AddressColumn), u"data:text/html,x"_s);
    }) << false << sample;
    QTest::newRow("no name") << Edit([](FavoritesModel &m) {
        return m.setData(m.index(0, FavoritesModel::NameColumn), u" \n "_s);
    }) << false << sample;
    QTest::newRow("a name made plain") << Edit([](FavoritesModel &m) {
        return m.setData(m.index(2, FavoritesModel::NameColumn), u"Two\nlines\u202e"_s);
    }) << true << QString(sample).replace(u"[Empty]"_s, u"[Two lines]"_s);
}

void tst_FavoritesStore::modelKeepsToTheFileRules()
{
    QFETCH(Edit, edit);
    QFETCH(bool, accepted);
    QFETCH(QString, tree);
    FavoritesModel model;
    model.setTree(Sample);
    QCOMPARE(edit(model), accepted);
    QCOMPARE(describe(model.tree()), tree);
}

QTEST_GUILESS_MAIN(tst_FavoritesStore)
#include "tst_favoritesstore.moc"
