#pragma once

#include "favorites/favoritesmodel.h"

#include <QObject>
#include <QString>
#include <memory>

class BackgroundFileWriter;
class QLockFile;

// The user's favorites for this run: read from favorites.json (favoritesjson) in the
// profile's data folder at start, written back after each change, off the UI thread.
// Favorites are the user's own choice, not traces of browsing: they are kept also in a
// session that keeps no browsing data. One Halvane at a time keeps them (favorites.lock,
// held for the run); another one started meanwhile shows them as they were at its start
// and changes nothing, so it never writes over the first one's file.
// A file that cannot be read whole is set aside beside it (renamed, never deleted), what
// could be read of it is kept, and notice() says so.
class FavoritesStore : public QObject
{
    Q_OBJECT
public:
    explicit FavoritesStore(const QString &folder, QObject *parent = nullptr);
    // Writes what waits.
    ~FavoritesStore() override;

    static QString fileName() { return QStringLiteral("favorites.json"); }
    QString path() const { return m_path; }
    FavoritesModel &model() { return m_model; }

    // Why favorites cannot be changed in this run; empty when they can.
    QString readOnlyReason() const { return m_readOnlyReason; }
    // What the user should hear about the file as it was read: set aside, and why; empty
    // when it was read whole.
    QString notice() const { return m_notice; }
    // Returns once every change is on disk.
    void flush();

    // Reads a bookmarks HTML file into a new folder at the top; what happened, for the user.
    QString importHtml(const QString &path);
    // Writes every favorite into a bookmarks HTML file; what happened, for the user.
    QString exportHtml(const QString &path) const;

Q_SIGNALS:
    // A change could not be written; on the UI thread.
    void writeFailed(const QString &why);

private:
    void takeFolder(const QString &folder);
    void load();
    // Renames the damaged file beside itself, to *aside; false when that failed, with *why.
    bool setAside(QString *aside, QString *why);
    void save();

    QString m_path;
    FavoritesModel m_model;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<BackgroundFileWriter> m_writer;
    QString m_readOnlyReason;
    QString m_notice;
};
