#include "app/sessionkeeper.h"

#include "system/quietlog.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <sys/stat.h>

namespace {

// Writes bytes to path whole, the user's alone; told once in the log when it cannot.
void writeFile(const QString &path, const QByteArray &bytes)
{
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
        // Owner only, also where an older file was not. A file system without modes
        // refuses, which is no reason not to write.
        ::fchmod(out.handle(), S_IRUSR | S_IWUSR);
        if (out.write(bytes) == bytes.size() && out.commit())
            return;
    }
    quietlog::warnOnce(lcSession(), QStringLiteral("The windows were not kept in %1: %2.").arg(path, out.errorString()));
}

} // namespace

SessionKeeper::SessionKeeper(QString path, Snapshot snapshot, QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_snapshot(std::move(snapshot))
{
    m_due.setSingleShot(true);
    // Never early: "at most once a second" holds to the millisecond.
    m_due.setTimerType(Qt::PreciseTimer);
    connect(&m_due, &QTimer::timeout, this, [this] { write(m_snapshot()); });
    m_writer.setMaxThreadCount(1);
}

SessionKeeper::~SessionKeeper()
{
    m_writer.waitForDone();
}

void SessionKeeper::changed()
{
    if (!keeping() || m_finished || m_due.isActive())
        return;
    const qint64 since = m_lastWrite.isValid() ? m_lastWrite.elapsed() : SpacingMs;
    m_due.start(int(qBound(qint64(0), qint64(SpacingMs) - since, qint64(SpacingMs))));
}

void SessionKeeper::finish()
{
    if (!keeping() || m_finished)
        return;
    m_finished = true;
    m_due.stop();
    sessionfile::Session session = m_snapshot();
    session.endedCleanly = true;
    write(session);
    m_writer.waitForDone();
}

void SessionKeeper::write(sessionfile::Session session)
{
    m_lastWrite.start();
    m_writer.start([path = m_path, bytes = sessionfile::toBytes(session)] { writeFile(path, bytes); });
}
