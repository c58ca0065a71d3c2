#pragma once

#include "system/downloadrecord.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QList>
#include <memory>

class DownloadListFile;

// The downloads of this session and earlier ones, newest first, at most MaxRecords (the
// oldest go). What runs is fed in by the engine's side; what the user asks of a download
// (cancel, retry) goes back to it as signals, so the list and its window know nothing of
// the engine. As a table: name, size, and the state as text (progress and speed while
// it runs, "Failed: reason" ...), every text plain.
class DownloadList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Name, Size, Status, ColumnCount };
    static constexpr int MaxRecords = 1000;

    // Kept in the file (read now; a damaged one is set aside and notice() says so), or,
    // without one, for this session only: nothing reaches the disk.
    explicit DownloadList(const QString &file = {}, QObject *parent = nullptr);
    // Writes what waits, and waits for it.
    ~DownloadList() override;

    // Said to the user once: what became of a damaged file. Empty when nothing happened.
    QString notice() const { return m_notice; }
    bool kept() const { return m_file != nullptr; }

    int count() const { return int(m_entries.size()); }
    QList<DownloadRecord> records() const;
    const DownloadRecord &at(int row) const { return m_entries.at(row).record; }
    // Ids last for the session; a row's changes as newer downloads come in.
    quint64 idAt(int row) const { return m_entries.at(row).id; }
    int rowOf(quint64 id) const; // -1 when not listed

    // A running download at the top; the oldest past MaxRecords go. Its id.
    quint64 add(const QString &address, const QString &path);
    void setProgress(quint64 id, qint64 received, qint64 size);
    // The download ended so; a reason only for a failure.
    void end(quint64 id, DownloadRecord::State state, const QString &reason = {});
    // Running again from the start, in its row (a retry).
    void restart(quint64 id);
    // Only a download that is not running leaves the list.
    void remove(int row);

    // What the user asks: only of a running download, and of a failed or cancelled one
    // whose address is kept.
    void cancel(int row);
    void retry(int row);
    static bool canRetry(const DownloadRecord &record);

    // Text from outside as the window shows it: plain, and with nothing that moves or
    // hides letters (controls, direction overrides) but a replacement character.
    static QString shown(QString text);
    // Bytes as the window shows them: "1.5 MB".
    static QString sizeText(qint64 bytes);
    // The state as the window shows it; speed in bytes a second, -1 when not known.
    static QString statusText(const DownloadRecord &record, qint64 speed = -1);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void cancelRequested(quint64 id);
    void retryRequested(quint64 id);

private:
    struct Entry
    {
        quint64 id = 0;
        DownloadRecord record;
        // The speed, measured over a second or more: bytes then, and since when.
        qint64 speed = -1;
        qint64 markBytes = 0;
        QElapsedTimer mark;
    };
    void changed(int row, bool save);
    void scheduleSave();

    QList<Entry> m_entries;
    quint64 m_nextId = 1;
    std::unique_ptr<DownloadListFile> m_file;
    bool m_savePending = false;
    QString m_notice;
};
