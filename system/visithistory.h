#pragma once

#include "system/visitsearch.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

class VisitWriter;

// The pages visited, each visit with its time, kept in an SQLite database in the
// profile's data folder (visitdatabase.h). Visits are written by a thread of its own in
// batches (VisitWriter), so a window never waits for the disk; searches read through a
// connection of the calling (UI) thread. A session that keeps nothing has no database:
// it records and finds nothing, and no file is made.
class VisitHistory : public QObject
{
    Q_OBJECT
public:
    // Keeps visits in the folder when keep is true, those older than keepDays days going
    // now (each start is when they go). Without keep nothing is made there.
    VisitHistory(const QString &folder, bool keep, int keepDays, QObject *parent = nullptr);
    // Writes what waits.
    ~VisitHistory() override;

    // Whether visits reach a file this session.
    bool kept() const { return m_kept; }
    // What the user should hear about the file (it was damaged and set aside, it cannot
    // be kept); empty when all is well.
    QString notice() const { return m_notice; }
    QString path() const { return m_path; }

    // A committed top-level navigation, at visited (ms since the epoch).
    void record(const QString &address, qint64 visited);
    // The title the page at address has now: its visit's, or its last visit's.
    void setTitle(const QString &address, const QString &title);
    // Waits until what was recorded is in the file.
    void flush();

    VisitSearch search(const QString &text) const;

    // False when the file refused the deletion.
    bool removeVisit(qint64 id);
    // The visits of a day in local time.
    bool removeDay(QDate day);
    bool removeAll();

    static constexpr int DefaultKeepDays = 90;
    // Longer texts from pages are not kept: addresses are passed over, titles cut.
    static constexpr qsizetype MaxAddress = 8192;
    static constexpr qsizetype MaxTitle = 1024;

Q_SIGNALS:
    // Recorded visits reached the file.
    void added();
    // Visits were deleted (by anyone).
    void removed();

private:
    bool onWriter(const std::function<bool(VisitWriter &)> &work);
    bool tellRemoved(bool done);

    QString m_path;
    QString m_notice;
    QString m_reader;
    bool m_kept = false;
    QThread m_thread;
    std::unique_ptr<VisitWriter> m_writer;
};
