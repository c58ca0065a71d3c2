#include "browser/historywriter.h"

#include "browser/historyfile.h"

#include <QThreadPool>
#include <atomic>

namespace {

// One thread: writes run one at a time, first asked first done.
struct Worker : QThreadPool
{
    Worker() { setMaxThreadCount(1); }
};

Worker &worker()
{
    static Worker pool; // waits for what is queued when the program ends
    return pool;
}

} // namespace

struct HistoryWriter::State
{
    // The newest write asked for: an older one still queued would only be replaced by
    // it, so it is skipped (on a large file each write takes seconds).
    std::atomic<quint64> newest = 0;
    // What this window last wrote; only the worker touches it, one write at a time.
    QString lastWritten;
};

HistoryWriter::HistoryWriter(QString path)
    : m_path(std::move(path))
    , m_state(std::make_shared<State>())
{
}

void HistoryWriter::append(const QString &address)
{
    const quint64 ticket = ++m_state->newest;
    worker().start([path = m_path, state = m_state, address, ticket] {
        if (state->newest != ticket)
            return;
        // Under a lock, re-reading the file so no other window's address is lost; a
        // file that cannot be written is left whole, silently.
        if (historyfile::appendAddress(path, state->lastWritten, address))
            state->lastWritten = address;
    });
}

void HistoryWriter::waitForAll()
{
    worker().waitForDone();
}
