#include "system/visitwriter.h"

#include "system/quietlog.h"
#include "system/visitdatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

namespace {

// A visit's page: made the first time, its title replaced by a newer one that says something.
const QString AddPage = QStringLiteral(
    "INSERT INTO pages(address, title) VALUES (?, ?) ON CONFLICT(address) DO UPDATE SET title = excluded.title "
    "WHERE excluded.title <> '' AND title <> excluded.title");
const QString PageId = QStringLiteral("SELECT id FROM pages WHERE address = ?");
const QString AddVisit = QStringLiteral("INSERT INTO visits(visited, page) VALUES (?, ?)");
const QString Retitle = QStringLiteral("UPDATE pages SET title = ? WHERE address = ? AND title <> ?");

// Pages whose every visit is in the range, then the range's visits.
const QString RemovePagesBetween = QStringLiteral(
    "DELETE FROM pages WHERE id IN (SELECT page FROM visits WHERE visited >= ? AND visited < ?) "
    "AND NOT EXISTS (SELECT 1 FROM visits v WHERE v.page = pages.id AND (v.visited < ? OR v.visited >= ?))");
const QString RemoveVisitsBetween = QStringLiteral("DELETE FROM visits WHERE visited >= ? AND visited < ?");
const QString RemovePageOfVisit = QStringLiteral(
    "DELETE FROM pages WHERE id = (SELECT page FROM visits WHERE id = ?) "
    "AND NOT EXISTS (SELECT 1 FROM visits v WHERE v.page = pages.id AND v.id <> ?)");
const QString RemoveVisit = QStringLiteral("DELETE FROM visits WHERE id = ?");

bool exec(QSqlQuery &q, const QVariantList &values)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        // A null text would go in as NULL, which the columns refuse: no title is an empty one.
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        q.bindValue(int(i), nullText ? QVariant(QStringLiteral("")) : value);
    }
    if (q.exec())
        return true;
    quietlog::warnOnce(lcVisits(), QStringLiteral("The visits database refused a change: %1").arg(q.lastError().text()));
    return false;
}

bool execOnce(QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    QSqlQuery q(db);
    if (q.prepare(statement))
        return exec(q, values);
    quietlog::warnOnce(lcVisits(), QStringLiteral("The visits database refused a change: %1").arg(q.lastError().text()));
    return false;
}

} // namespace

VisitWriter::VisitWriter(QString connection)
    : m_connection(std::move(connection))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(BatchMs);
    connect(m_timer, &QTimer::timeout, this, &VisitWriter::writeBatch);
}

bool VisitWriter::open(const QString &path, QString *notice)
{
    m_open = visitdatabase::open(path, m_connection, notice);
    return m_open;
}

void VisitWriter::close()
{
    writeBatch();
    if (std::exchange(m_open, false))
        visitdatabase::close(m_connection);
}

void VisitWriter::add(const QString &address, qint64 visited)
{
    if (!m_open)
        return;
    m_waiting.append({address, QString(), visited});
    if (m_waiting.size() >= MaxBatch)
        writeBatch();
    else if (!m_timer->isActive())
        m_timer->start();
}

void VisitWriter::retitle(const QString &address, const QString &title)
{
    if (!m_open)
        return;
    for (auto it = m_waiting.rbegin(); it != m_waiting.rend(); ++it) {
        if (it->address == address) {
            it->title = title;
            return;
        }
    }
    m_titles.insert(address, title);
    if (!m_timer->isActive())
        m_timer->start();
}

bool VisitWriter::writeBatch()
{
    m_timer->stop();
    if (m_waiting.isEmpty() && m_titles.isEmpty())
        return true;
    const qsizetype count = m_waiting.size();
    const bool written = inTransaction([this](QSqlDatabase &db) { return writeWaiting(db); });
    if (!written)
        quietlog::warnOnce(lcVisits(), QStringLiteral("%1 visits were not kept.").arg(count));
    m_waiting.clear();
    m_titles.clear();
    if (written)
        Q_EMIT this->written();
    return written;
}

bool VisitWriter::writeWaiting(QSqlDatabase &db)
{
    QSqlQuery addPage(db);
    QSqlQuery pageId(db);
    QSqlQuery addVisit(db);
    QSqlQuery retitle(db);
    if (!addPage.prepare(AddPage) || !pageId.prepare(PageId) || !addVisit.prepare(AddVisit)
        || !retitle.prepare(Retitle))
        return false;
    for (const Waiting &visit : std::as_const(m_waiting)) {
        if (!exec(addPage, {visit.address, visit.title}) || !exec(pageId, {visit.address}) || !pageId.next())
            return false;
        const qint64 page = pageId.value(0).toLongLong();
        pageId.finish();
        if (!exec(addVisit, {visit.visited, page}))
            return false;
    }
    for (auto it = m_titles.cbegin(); it != m_titles.cend(); ++it) {
        if (!exec(retitle, {it.value(), it.key(), it.value()}))
            return false;
    }
    return true;
}

bool VisitWriter::removeVisit(qint64 id)
{
    return writeBatch() && inTransaction([id](QSqlDatabase &db) {
        return execOnce(db, RemovePageOfVisit, {id, id}) && execOnce(db, RemoveVisit, {id});
    });
}

bool VisitWriter::removeBetween(qint64 from, qint64 to)
{
    return writeBatch() && inTransaction([from, to](QSqlDatabase &db) {
        return execOnce(db, RemovePagesBetween, {from, to, from, to}) && execOnce(db, RemoveVisitsBetween, {from, to});
    });
}

bool VisitWriter::removeAll()
{
    if (!m_open)
        return true;
    m_waiting.clear();
    m_titles.clear();
    m_timer->stop();
    return visitdatabase::makeEmpty(m_connection);
}

bool VisitWriter::inTransaction(const std::function<bool(QSqlDatabase &)> &work)
{
    if (!m_open)
        return true; // nothing is kept, so nothing is left
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return false;
    if (work(db) && db.commit())
        return true;
    db.rollback();
    return false;
}
