#include "system/visithistory.h"

#include "system/quietlog.h"
#include "system/visitdatabase.h"
#include "system/visitwriter.h"

#include <QDateTime>
#include <QDir>
#include <limits>

namespace {

constexpr qint64 DayMs = 24 * 60 * 60 * 1000;

} // namespace

VisitHistory::VisitHistory(const QString &folder, bool keep, int keepDays, QObject *parent)
    : QObject(parent)
{
    if (!keep)
        return;
    m_path = QDir(folder).filePath(visitdatabase::fileName());
    const QString id = QString::number(quintptr(this), 16);
    m_writer = std::make_unique<VisitWriter>(QStringLiteral("visits-writer-") + id);
    m_writer->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("visits"));
    m_thread.start();
    m_kept = onWriter([this](VisitWriter &w) { return w.open(m_path, &m_notice); });
    if (!m_notice.isEmpty())
        quietlog::warnOnce(lcVisits(), m_notice);
    if (!m_kept)
        return;
    m_reader = QStringLiteral("visits-reader-") + id;
    visitdatabase::connect(m_path, m_reader);
    connect(m_writer.get(), &VisitWriter::written, this, &VisitHistory::added);
    if (keepDays > 0) {
        const qint64 before = QDateTime::currentMSecsSinceEpoch() - keepDays * DayMs;
        QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), before] {
            w->removeBetween(std::numeric_limits<qint64>::min(), before);
        }, Qt::QueuedConnection);
    }
}

VisitHistory::~VisitHistory()
{
    if (!m_writer)
        return;
    if (!m_reader.isEmpty())
        visitdatabase::close(m_reader);
    onWriter([](VisitWriter &w) {
        w.close();
        return true;
    });
    m_thread.quit();
    m_thread.wait();
}

void VisitHistory::record(const QString &address, qint64 visited)
{
    if (!m_kept || address.isEmpty() || address.size() > MaxAddress)
        return;
    QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), address, visited] { w->add(address, visited); },
                              Qt::QueuedConnection);
}

void VisitHistory::setTitle(const QString &address, const QString &title)
{
    if (!m_kept || address.isEmpty() || address.size() > MaxAddress)
        return;
    // The engine names a page without a title by its address: no title then.
    const QString kept = title == address ? QString() : title.left(MaxTitle);
    QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), address, kept] { w->retitle(address, kept); },
                              Qt::QueuedConnection);
}

void VisitHistory::flush()
{
    onWriter([](VisitWriter &w) { return w.writeBatch(); });
}

VisitSearch VisitHistory::search(const QString &text) const
{
    return VisitSearch(m_reader, text);
}

bool VisitHistory::removeVisit(qint64 id)
{
    return tellRemoved(onWriter([id](VisitWriter &w) { return w.removeVisit(id); }));
}

bool VisitHistory::removeDay(QDate day)
{
    const qint64 from = day.startOfDay().toMSecsSinceEpoch();
    const qint64 to = day.addDays(1).startOfDay().toMSecsSinceEpoch();
    return tellRemoved(onWriter([from, to](VisitWriter &w) { return w.removeBetween(from, to); }));
}

bool VisitHistory::removeAll()
{
    return tellRemoved(onWriter([](VisitWriter &w) { return w.removeAll(); }));
}

bool VisitHistory::tellRemoved(bool done)
{
    Q_EMIT removed();
    return done;
}

bool VisitHistory::onWriter(const std::function<bool(VisitWriter &)> &work)
{
    // Nothing kept: nothing to write, nothing left to delete.
    if (!m_writer)
        return true;
    bool done = false;
    QMetaObject::invokeMethod(m_writer.get(), [&] { return work(*m_writer); }, Qt::BlockingQueuedConnection, &done);
    return done;
}
