#include "system/visitsearch.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

const QString Columns = QStringLiteral("SELECT v.id, v.visited, p.address, p.title ");
const QString Newest = QStringLiteral(" ORDER BY v.visited DESC, v.id DESC LIMIT ?");
const QString Older = QStringLiteral("(v.visited, v.id) < (?, ?)");
const QString Matches = QStringLiteral("(p.address LIKE ? ESCAPE '\\' OR p.title LIKE ? ESCAPE '\\')");

const QString Everything
    = Columns + QStringLiteral("FROM visits v JOIN pages p ON p.id = v.page WHERE ") + Older + Newest;
const QString ByPages = Columns
                        + QStringLiteral("FROM pages p JOIN visits v ON v.page = p.id "
                                         "WHERE p.id IN (SELECT rowid FROM pages_text WHERE pages_text MATCH ?) AND ")
                        + Matches + QStringLiteral(" AND ") + Older + Newest;
const QString Walk = Columns + QStringLiteral("FROM visits v JOIN pages p ON p.id = v.page WHERE ") + Older
                     + QStringLiteral(" AND (v.visited, v.id) >= (?, ?) AND ") + Matches + Newest;
// Every page compared once, then the visits of those that match: for a text the newest
// visits hardly hold. The pages lead (CROSS JOIN keeps them outside), not the time index.
const QString PageScan = Columns + QStringLiteral("FROM pages p CROSS JOIN visits v ON v.page = p.id WHERE ") + Matches
                         + QStringLiteral(" AND ") + Older + Newest;
// Where a walk's step ends: the last of the WalkVisits visits below the start.
const QString WalkEnd = QStringLiteral(
    "SELECT visited, id FROM visits WHERE (visited, id) < (?, ?) ORDER BY visited DESC, id DESC LIMIT 1 OFFSET ?");
const QString Candidates
    = QStringLiteral("SELECT count(*) FROM (SELECT rowid FROM pages_text WHERE pages_text MATCH ? LIMIT ?)");

// The text as a LIKE pattern that matches it anywhere, its wildcards taken literally.
QString likePattern(QString text)
{
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("\\%")).replace(u'_', QStringLiteral("\\_"));
    return u'%' + text + u'%';
}

// Every three characters of the text, each a quoted string, all required: an index query
// that finds every page holding the text, and perhaps a few more. A long text is looked
// up by its first MaxTrigrams; the comparison that follows checks all of it.
QString trigramQuery(const QString &text)
{
    constexpr qsizetype MaxTrigrams = 16;
    const QList<uint> characters = text.toUcs4();
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= characters.size() && trigrams.size() < MaxTrigrams; ++i) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData() + i), 3);
        trigrams << u'"' + trigram.replace(u'"', QStringLiteral("\"\"")) + u'"';
    }
    return trigrams.join(QStringLiteral(" AND "));
}

bool exec(QSqlQuery &q, const QString &statement, const QVariantList &values)
{
    if (!q.prepare(statement))
        return false;
    for (qsizetype i = 0; i < values.size(); ++i)
        q.bindValue(int(i), values.at(i));
    return q.exec();
}

} // namespace

VisitSearch::VisitSearch(QString connection, const QString &text)
    : m_connection(std::move(connection))
    , m_text(text)
    , m_pattern(likePattern(text))
    , m_trigrams(trigramQuery(text))
    , m_done(m_connection.isEmpty())
{
}

VisitSearch::Step VisitSearch::next(int count)
{
    if (m_done || count <= 0)
        return {{}, m_done};
    if (m_plan == Plan::Undecided)
        choosePlan();
    switch (m_plan) {
    case Plan::Everything:
        return read(Everything, {m_beforeVisited, m_beforeId, count}, count);
    case Plan::ByPages:
        return read(ByPages, {m_trigrams, m_pattern, m_pattern, m_beforeVisited, m_beforeId, count}, count);
    case Plan::PageScan:
        return read(PageScan, {m_pattern, m_pattern, m_beforeVisited, m_beforeId, count}, count);
    case Plan::Walk:
    case Plan::Undecided:
        break;
    }
    return walk(count);
}

void VisitSearch::choosePlan()
{
    if (m_text.isEmpty()) {
        m_plan = Plan::Everything;
        return;
    }
    m_plan = Plan::Walk;
    if (m_trigrams.isEmpty())
        return;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (exec(q, Candidates, {m_trigrams, IndexedPages + 1}) && q.next() && q.value(0).toLongLong() <= IndexedPages)
        m_plan = Plan::ByPages;
}

VisitSearch::Step VisitSearch::read(const QString &statement, const QVariantList &values, int count)
{
    Step step;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!exec(q, statement, values)) {
        // A database that cannot be read has nothing more to give.
        m_failed = m_done = step.done = true;
        return step;
    }
    while (q.next()) {
        step.visits.append({q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toString(),
                            q.value(3).toString()});
    }
    if (!step.visits.isEmpty()) {
        m_beforeVisited = step.visits.constLast().visited;
        m_beforeId = step.visits.constLast().id;
    }
    m_done = step.done = step.visits.size() < count;
    return step;
}

VisitSearch::Step VisitSearch::walk(int count)
{
    QSqlQuery end(QSqlDatabase::database(m_connection, false));
    qint64 endVisited = std::numeric_limits<qint64>::min();
    qint64 endId = std::numeric_limits<qint64>::min();
    const int share = m_firstWalk ? FirstWalkVisits : WalkVisits;
    const bool last = !exec(end, WalkEnd, {m_beforeVisited, m_beforeId, share - 1}) || !end.next();
    if (!last) {
        endVisited = end.value(0).toLongLong();
        endId = end.value(1).toLongLong();
    }
    Step step = read(Walk, {m_beforeVisited, m_beforeId, endVisited, endId, m_pattern, m_pattern, count}, count);
    if (step.visits.size() < count && !last && !m_failed) {
        // Not done: the step looked through its share, and the next starts below it.
        m_beforeVisited = endVisited;
        m_beforeId = endId;
        m_done = step.done = false;
        // Rare among the newest visits: rare among the pages too, most likely, and one
        // look through the pages finds the rest sooner than walking on.
        if (m_firstWalk)
            m_plan = Plan::PageScan;
    }
    m_firstWalk = false;
    return step;
}
