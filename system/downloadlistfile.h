#pragma once

#include "system/downloadrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThreadPool>
#include <atomic>

// The file the downloads list is kept in, "downloads.json" in the profile's data folder.
//
// Format, version 1: UTF-8 JSON, one object
//   {"format": "halvane-downloads", "version": 1, "downloads": [ ... ]}
// with the downloads newest first, each an object:
//   "file"     string, the absolute path it is saved as (required, at most 4,096 characters)
//   "state"    "running", "finished", "failed" or "cancelled" (required)
//   "address"  string, where it came from (at most 8,192 characters; "" when not kept)
//   "size"     number, bytes in all, -1 when not known
//   "received" number, bytes received
//   "reason"   string, why it failed (at most 1,024 characters)
//   "started", "ended"  ISO 8601 times in UTC with milliseconds ("" when not known)
// Members this version does not know are ignored; a later version goes up one.
//
// Written whole, atomically (beside the file, then renamed over it), owner-only, off the
// UI thread. Read in bounded memory (at most 16 MiB); a file that is not whole (not JSON,
// another format or version, a download that breaks the rules above) is set aside
// beside it under a name of its own, and what could be read of it is kept.
class DownloadListFile
{
public:
    static constexpr int Version = 1;
    static constexpr qint64 MaxBytes = 16 * 1024 * 1024;

    // What the bytes hold, and why they are not whole (empty when they are).
    struct Content
    {
        QList<DownloadRecord> records;
        QString damage;
    };
    static QByteArray encode(const QList<DownloadRecord> &records);
    static Content decode(const QByteArray &bytes);

    explicit DownloadListFile(QString path);
    // Waits for the writes asked for.
    ~DownloadListFile();
    DownloadListFile(const DownloadListFile &) = delete;
    DownloadListFile &operator=(const DownloadListFile &) = delete;

    struct Loaded
    {
        QList<DownloadRecord> records;
        // For the user: the file was damaged and set aside, or cannot be read. Empty when
        // all is well.
        QString notice;
        // False where writing would lose what the file holds (it could be neither read
        // nor set aside): the list then lasts for this session only.
        bool writable = true;
    };
    Loaded load();

    // Writes the records in place of the file, off the UI thread; a write still waiting
    // when a newer one is asked for is dropped for it.
    void save(const QList<DownloadRecord> &records);
    void waitForWrites();

private:
    QString setAside() const;

    QString m_path;
    std::atomic<quint64> m_latest{0};
    // One thread: the writes land in the order they were asked for.
    QThreadPool m_writer;
};
