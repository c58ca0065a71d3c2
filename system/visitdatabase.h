#pragma once

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcVisits) // halvane.visits

// The file of visited pages: an SQLite database in the profile's data folder, opened
// through Qt SQL. Pages (address, title) are kept once each, visits (time, page) refer to
// them; a trigram index over the pages' addresses and titles lets a search skip the
// visits of pages that cannot match.
namespace visitdatabase {

QString fileName();
// PRAGMA user_version of the schema this program writes.
constexpr int SchemaVersion = 1;

// Opens the database at path as the named connection of the calling thread, made when
// missing (the user's alone), its schema in place. A file that is no database of ours
// (not a database at all, empty, another program's, from a newer Halvane) is renamed aside,
// never deleted, and a new one begun; *notice then says so. False, with the reason in
// *notice, when none could be opened at all.
bool open(const QString &path, const QString &connection, QString *notice);

// Another connection, of the calling thread, to a database open() has made ready.
bool connect(const QString &path, const QString &connection);

// Deletes every visit and page of the connection's database at once, and gives the
// space back to the file system.
bool makeEmpty(const QString &connection);

// Closes and forgets the connection of the calling thread.
void close(const QString &connection);

} // namespace visitdatabase
