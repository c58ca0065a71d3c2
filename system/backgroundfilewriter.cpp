#include "system/backgroundfilewriter.h"

#include <QSaveFile>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <sys/stat.h>

struct BackgroundFileWriter::State
{
    QString path;
    Failed failed;
    std::mutex mutex;
    std::condition_variable wake; // the thread: content waits, or the end
    std::condition_variable idle; // flushes: nothing waits, nothing is written
    Content waiting;
    bool writing = false;
    bool stop = false;
    std::thread thread; // last: starts when the rest is ready

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return waiting || stop; });
            if (!waiting)
                return;
            const Content content = std::exchange(waiting, nullptr);
            writing = true;
            lock.unlock();
            QString why;
            if (!writeFile(path, content(), &why) && failed)
                failed(why);
            lock.lock();
            writing = false;
            if (!waiting)
                idle.notify_all();
        }
    }
};

BackgroundFileWriter::BackgroundFileWriter(QString path, Failed failed)
    : m_state(std::make_unique<State>())
{
    m_state->path = std::move(path);
    m_state->failed = std::move(failed);
    m_state->thread = std::thread([state = m_state.get()] { state->run(); });
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stop = true;
    }
    m_state->wake.notify_all();
    m_state->thread.join();
}

void BackgroundFileWriter::write(Content content)
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->waiting = std::move(content);
    }
    m_state->wake.notify_all();
}

void BackgroundFileWriter::flush()
{
    std::unique_lock lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return !m_state->waiting && !m_state->writing; });
}

bool BackgroundFileWriter::writeFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        // Owner only, also where an older file was not. (A file system without modes
        // refuses; that is no reason not to write.)
        ::fchmod(out.handle(), S_IRUSR | S_IWUSR);
        if (out.write(bytes) == bytes.size() && out.commit())
            return true;
    }
    *why = out.errorString();
    return false;
}
