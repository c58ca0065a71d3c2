#include "browser/historywriter.h"

#include "system/quietlog.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long waitForAll goes on trying writes that another writer's lock keeps out.
constexpr milliseconds FlushRetryLimit{10000};

historyfile::WriteResult writeAndTell(const QString &path, const QString &previousOwn,
                                      const QString &address)
{
    QString why;
    const historyfile::WriteResult result = historyfile::appendAddress(path, previousOwn, address, &why);
    if (result == historyfile::WriteResult::Failed)
        quietlog::warnOnce(lcHistory(), QStringLiteral("An address was not kept in %1: %2.").arg(path, why));
    return result;
}

} // namespace

struct HistoryWriter::State
{
    QString path;
    WriteFunction write;
    // Guarded by the queue's mutex.
    QString pending;             // the newest address not yet written
    bool waiting = false;        // in the queue
    Clock::time_point notBefore; // when the next write may start
    // Only the worker touches it, one write at a time: what this window last wrote.
    QString lastWritten;
};

namespace {

// The one worker: windows with a write waiting.
class WriteQueue
{
public:
    using StatePtr = std::shared_ptr<HistoryWriter::State>;

    static WriteQueue &instance()
    {
        static WriteQueue queue; // writes what still waits when the program ends
        return queue;
    }

    void request(const StatePtr &state, const QString &address)
    {
        const std::lock_guard lock(m_mutex);
        state->pending = address;
        // In the order the addresses waiting were asked for, so that the file's last
        // line is the newest of them.
        if (state->waiting)
            m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), state));
        state->waiting = true;
        m_waiting.push_back(state);
        m_wake.notify_all();
    }

    void flush()
    {
        std::unique_lock lock(m_mutex);
        if (m_flushing++ == 0)
            m_giveUpAt = Clock::now() + FlushRetryLimit;
        m_wake.notify_all();
        m_idle.wait(lock, [this] { return m_waiting.empty() && !m_writing; });
        --m_flushing;
    }

    ~WriteQueue()
    {
        flush();
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
            m_wake.notify_all();
        }
        m_thread.join();
    }

private:
    WriteQueue() : m_thread([this] { run(); }) {}

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            // The first window whose time has come; while flushing, every one's has.
            const Clock::time_point now = Clock::now();
            Clock::time_point earliest = Clock::time_point::max();
            auto due = m_waiting.begin();
            for (; due != m_waiting.end(); ++due) {
                if (m_flushing > 0 || (*due)->notBefore <= now)
                    break;
                earliest = std::min(earliest, (*due)->notBefore);
            }
            if (due == m_waiting.end()) {
                if (m_waiting.empty()) {
                    m_idle.notify_all();
                    if (m_stop)
                        return;
                    m_wake.wait(lock);
                } else {
                    m_wake.wait_until(lock, earliest);
                }
                continue;
            }

            const StatePtr state = *due;
            m_waiting.erase(due);
            state->waiting = false;
            const QString address = std::exchange(state->pending, QString());
            m_writing = true;
            lock.unlock();
            const Clock::time_point started = Clock::now();
            const historyfile::WriteResult result = state->write(state->path, state->lastWritten, address);
            if (result == historyfile::WriteResult::Written)
                state->lastWritten = address;
            lock.lock();
            m_writing = false;
            state->notBefore = started + milliseconds(HistoryWriter::SpacingMs);
            if (result != historyfile::WriteResult::LockBusy)
                continue;
            if (m_flushing > 0 && Clock::now() >= m_giveUpAt) {
                quietlog::warnOnce(lcHistory(), QStringLiteral("An address was not kept in %1: another "
                                                             "writer held the file's lock to the end.")
                                                  .arg(state->path));
                continue;
            }
            // Shut out by another writer: again after a pause, unless a newer address
            // of this window waits already, which replaces it as it would on disk.
            state->notBefore = Clock::now() + milliseconds(HistoryWriter::RetryPauseMs);
            if (!state->waiting) {
                state->pending = address;
                state->waiting = true;
                m_waiting.push_back(state);
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake; // the worker: a new write, a flush, the end
    std::condition_variable m_idle; // flushes: nothing waits, nothing is being written
    std::deque<StatePtr> m_waiting;
    bool m_writing = false;
    int m_flushing = 0;
    Clock::time_point m_giveUpAt;
    bool m_stop = false;
    std::thread m_thread; // last: starts when everything above is ready
};

} // namespace

HistoryWriter::HistoryWriter(QString path, WriteFunction write)
    : m_state(std::make_shared<State>())
{
    m_state->path = std::move(path);
    m_state->write = write ? std::move(write) : WriteFunction(writeAndTell);
}

void HistoryWriter::append(const QString &address)
{
    WriteQueue::instance().request(m_state, address);
}

void HistoryWriter::waitForAll()
{
    WriteQueue::instance().flush();
}
