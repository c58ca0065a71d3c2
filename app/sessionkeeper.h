#pragma once

#include "app/sessionfile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <functional>

// Keeps a session in its file as it changes: at most once a second, each write whole
// (QSaveFile, the old file stays whole when anything fails) and synced to the disk on a
// thread of its own, so that a crash or a power cut loses at most the last second. The
// first change is written at once, later ones within a second of a write wait for the
// second's end, and only the session as it then is gets written. With no path (a session
// off the record) nothing is written.
class SessionKeeper : public QObject
{
    Q_OBJECT
public:
    // The session as it is now, made on the UI thread when a write is due.
    using Snapshot = std::function<sessionfile::Session()>;

    SessionKeeper(QString path, Snapshot snapshot, QObject *parent = nullptr);
    // Waits for a write under way; a change still waiting for its second is not written.
    ~SessionKeeper() override;

    bool keeping() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // Something the session holds changed.
    void changed();
    // The orderly end: the session written now, marked as ended cleanly, and waited for;
    // nothing is written after it.
    void finish();

    static constexpr int SpacingMs = 1000;

private:
    void write(sessionfile::Session session);

    const QString m_path;
    const Snapshot m_snapshot;
    QTimer m_due;
    QElapsedTimer m_lastWrite;
    bool m_finished = false;
    // One thread, so that writes land in the order they were made.
    QThreadPool m_writer;
};
