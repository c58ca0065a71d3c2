#include "browser/historywriter.h"

#include "browser/historyfile.h"

#include <QThreadPool>

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

HistoryWriter::HistoryWriter(QString path)
    : m_path(std::move(path))
{
}

void HistoryWriter::append(const QString &address)
{
    worker().start([path = m_path, last = m_lastWritten, address] {
        // Under a lock, re-reading the file so no other window's address is lost; a
        // file that cannot be written is left whole, silently.
        if (historyfile::appendAddress(path, *last, address))
            *last = address;
    });
}

void HistoryWriter::waitForAll()
{
    worker().waitForDone();
}
