#pragma once

#include <QDateTime>
#include <QString>

// One download as the downloads list keeps it, this session's or an earlier one's.
struct DownloadRecord
{
    enum class State { Running, Finished, Failed, Cancelled };

    // Bounds on what is kept: longer texts come from outside (a server, a damaged file).
    // An address over its bound is not kept (the download cannot be retried), a reason
    // is cut; a path cannot be longer on the systems this runs on.
    static constexpr qsizetype MaxAddressChars = 8192;
    static constexpr qsizetype MaxPathChars = 4096;
    static constexpr qsizetype MaxReasonChars = 1024;

    QString address; // where it came from; empty when not kept
    QString path;    // the file it is saved as
    qint64 size = -1; // in bytes; -1 while not known
    qint64 received = 0;
    State state = State::Running;
    QString reason; // why it failed
    QDateTime started;
    QDateTime ended; // not valid while it runs

    friend bool operator==(const DownloadRecord &, const DownloadRecord &) = default;
};
