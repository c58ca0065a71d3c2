#include "system/visitdatabase.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <optional>

Q_LOGGING_CATEGORY(lcVisits, "halvane.visits", QtWarningMsg)

namespace visitdatabase {

namespace {

const QString Driver = QStringLiteral("QSQLITE");
// PRAGMA application_id: "Hvvs". A database without it was made by another program.
constexpr int ApplicationId = 0x48767673;

// The address is unique, so a revisit adds only a visit. The trigram index holds the
// pages' text once, without positions (detail=none), which keeps it small; triggers keep
// it in step with the pages it indexes.
const char *const Schema[] = {
    "CREATE TABLE pages(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE, title TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE visits(id INTEGER PRIMARY KEY, visited INTEGER NOT NULL, page INTEGER NOT NULL)",
    "CREATE INDEX visits_by_time ON visits(visited)",
    "CREATE INDEX visits_by_page ON visits(page, visited)",
    "CREATE VIRTUAL TABLE pages_text USING fts5(address, title, content='pages', content_rowid='id', "
    "tokenize='trigram', detail='none')",
    "CREATE TRIGGER pages_added AFTER INSERT ON pages BEGIN "
    "INSERT INTO pages_text(rowid, address, title) VALUES (new.id, new.address, new.title); END",
    "CREATE TRIGGER pages_removed AFTER DELETE ON pages BEGIN "
    "INSERT INTO pages_text(pages_text, rowid, address, title) VALUES ('delete', old.id, old.address, old.title); "
    "END",
    "CREATE TRIGGER pages_retitled AFTER UPDATE OF title ON pages BEGIN "
    "INSERT INTO pages_text(pages_text, rowid, address, title) VALUES ('delete', old.id, old.address, old.title); "
    "INSERT INTO pages_text(rowid, address, title) VALUES (new.id, new.address, new.title); END",
};

// What each table must answer for the file to be used.
const char *const Probes[] = {
    "SELECT id, visited, page FROM visits LIMIT 0",
    "SELECT id, address, title FROM pages LIMIT 0",
    "SELECT rowid FROM pages_text WHERE pages_text MATCH '\"abc\"' LIMIT 0",
};

enum class Found { Usable, NotOurs, Failed };

bool run(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery q(db);
    return q.exec(statement);
}

// A single number a pragma or count answers; nothing when the file cannot say.
std::optional<qint64> number(QSqlDatabase &db, const char *statement)
{
    QSqlQuery q(db);
    if (!q.exec(QLatin1String(statement)) || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

bool runAll(QSqlDatabase &db, const QList<QString> &statements)
{
    for (const QString &statement : statements) {
        if (!run(db, statement))
            return false;
    }
    return true;
}

QList<QString> schema()
{
    QList<QString> statements;
    for (const char *statement : Schema)
        statements << QLatin1String(statement);
    return statements;
}

bool createSchema(QSqlDatabase &db)
{
    if (!db.transaction())
        return false;
    if (!runAll(db, schema())) {
        db.rollback();
        return false;
    }
    const bool marked = run(db, QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId))
                        && run(db, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
    return marked ? db.commit() : (db.rollback(), false);
}

// Whether the file holds our tables (made now when it holds none): the reason when not.
Found checkSchema(QSqlDatabase &db, QString *why)
{
    const std::optional<qint64> id = number(db, "PRAGMA application_id");
    const std::optional<qint64> version = number(db, "PRAGMA user_version");
    const std::optional<qint64> objects = number(db, "SELECT count(*) FROM sqlite_schema");
    if (!id || !version || !objects) {
        *why = QStringLiteral("it is not a database");
        return Found::NotOurs;
    }
    if (*id == 0 && *version == 0 && *objects == 0) {
        if (createSchema(db))
            return Found::Usable;
        *why = QStringLiteral("its tables cannot be made: %1").arg(db.lastError().text());
        return Found::Failed;
    }
    if (*id != ApplicationId) {
        *why = QStringLiteral("it belongs to another program");
        return Found::NotOurs;
    }
    if (*version > SchemaVersion) {
        *why = QStringLiteral("a newer Halvane made it");
        return Found::NotOurs;
    }
    for (const char *probe : Probes) {
        if (*version != SchemaVersion || !run(db, QLatin1String(probe))) {
            *why = QStringLiteral("its tables are not as expected");
            return Found::NotOurs;
        }
    }
    return Found::Usable;
}

// A connection's settings: readers never wait on the writer (write-ahead log), and
// deleted visits are overwritten on disk, not merely unlinked.
bool configure(QSqlDatabase &db)
{
    return run(db, QStringLiteral("PRAGMA journal_mode = WAL")) && run(db, QStringLiteral("PRAGMA synchronous = NORMAL"))
           && run(db, QStringLiteral("PRAGMA secure_delete = ON"));
}

// An empty file, the user's alone, for SQLite to fill (it would make one others can read).
bool makeOwnFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

Found tryOpen(const QString &path, const QString &connection, QString *why)
{
    const QFileInfo info(path);
    // SQLite would take an empty file for a new database: it is what is left of a lost one.
    if (info.isFile() && info.size() == 0) {
        *why = QStringLiteral("it is empty");
        return Found::NotOurs;
    }
    if (!info.exists() && !makeOwnFile(path)) {
        *why = QStringLiteral("it cannot be made");
        return Found::Failed;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(Driver, connection);
    db.setDatabaseName(path);
    if (!db.open()) {
        *why = QStringLiteral("it cannot be opened: %1").arg(db.lastError().text());
        return Found::NotOurs;
    }
    const Found found = checkSchema(db, why);
    if (found == Found::Usable && !configure(db)) {
        *why = QStringLiteral("it cannot be written: %1").arg(db.lastError().text());
        return Found::Failed;
    }
    return found;
}

// Renames the file (and its write-ahead log) aside under a name of its own; that name,
// or nothing when it could not be renamed.
QString setAside(const QString &path)
{
    const QString stem = path + QStringLiteral(".damaged-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + u'-' + QString::number(n);
    if (!QFile::rename(path, aside))
        return {};
    for (const char *suffix : {"-wal", "-shm"}) {
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    return aside;
}

} // namespace

QString fileName()
{
    return QStringLiteral("visits.sqlite");
}

bool open(const QString &path, const QString &connection, QString *notice)
{
    if (!QSqlDatabase::isDriverAvailable(Driver)) {
        *notice = QStringLiteral("Visited pages are not kept: Qt's SQLite driver is not installed.");
        return false;
    }
    QString why;
    Found found = tryOpen(path, connection, &why);
    QString aside;
    if (found == Found::NotOurs) {
        close(connection);
        aside = setAside(path);
        const QString first = why;
        found = aside.isEmpty() ? Found::Failed : tryOpen(path, connection, &why);
        why = first;
    }
    if (found == Found::Usable) {
        if (!aside.isEmpty())
            *notice = QStringLiteral("The visited pages in %1 could not be read (%2): the file was kept as %3, "
                                     "and a new one begun.")
                          .arg(path, why, aside);
        return true;
    }
    close(connection);
    *notice = QStringLiteral("Visited pages are not kept this session: %1 cannot be used (%2).").arg(path, why);
    return false;
}

bool connect(const QString &path, const QString &connection)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(Driver, connection);
    db.setDatabaseName(path);
    return db.open() && run(db, QStringLiteral("PRAGMA query_only = ON"));
}

bool makeEmpty(const QString &connection)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    // Made anew rather than emptied row by row: no trigger runs for each page.
    const QList<QString> drop{QStringLiteral("DROP TABLE pages_text"), QStringLiteral("DROP TABLE visits"),
                              QStringLiteral("DROP TABLE pages")};
    if (!db.transaction())
        return false;
    if (!runAll(db, drop + schema())) {
        db.rollback();
        return false;
    }
    return db.commit() && run(db, QStringLiteral("VACUUM"))
           && run(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void close(const QString &connection)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace visitdatabase
