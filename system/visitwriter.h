#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QSqlDatabase;
class QTimer;

// The one writer of the visits database. It lives on a thread of its own, which every
// method here runs on. Visits come in one at a time and reach the file in batches: one
// transaction for what came within BatchMs of the first, or MaxBatch visits, whichever is
// first. A title that comes while its visit still waits goes into the same batch.
class VisitWriter : public QObject
{
    Q_OBJECT
public:
    // The database's connection name (of the writer's thread).
    explicit VisitWriter(QString connection);

    // Opens the file (visitdatabase::open); false, with the reason in *notice, when it
    // cannot be used.
    bool open(const QString &path, QString *notice);
    void close();

    void add(const QString &address, qint64 visited);
    // The page's title, for its waiting visit or the page as kept.
    void retitle(const QString &address, const QString &title);
    // What waits, now. False when the file refused it (the visits are then dropped: the
    // log says so once).
    bool writeBatch();

    // Each writes what waits first. Pages no visit refers to any longer go with the visits.
    bool removeVisit(qint64 id);
    // Visits at from (included) to to (excluded), in ms since the epoch.
    bool removeBetween(qint64 from, qint64 to);
    bool removeAll();

    static constexpr int BatchMs = 1000;
    static constexpr int MaxBatch = 500;

Q_SIGNALS:
    // Visits reached the file.
    void written();

private:
    struct Waiting
    {
        QString address;
        QString title;
        qint64 visited;
    };
    bool writeWaiting(QSqlDatabase &db);
    bool inTransaction(const std::function<bool(QSqlDatabase &)> &work);

    QString m_connection;
    bool m_open = false;
    QList<Waiting> m_waiting;
    // Titles of pages whose visits are in the file already.
    QHash<QString, QString> m_titles;
    QTimer *m_timer;
};
