#pragma once

#include <QString>
#include <memory>

// One document window's writes to the history file, done off the UI thread so a large
// file never stalls the window. A single worker runs every window's writes one at a
// time, in the order they were asked for, so each window's writes keep their order.
class HistoryWriter
{
public:
    explicit HistoryWriter(QString path);

    // Queues writing address, in place of this window's previous one.
    void append(const QString &address);

    // Waits until every window's queued writes are done (at exit, and in tests).
    static void waitForAll();

private:
    struct State;
    QString m_path;
    std::shared_ptr<State> m_state;
};
