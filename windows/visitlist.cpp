#include "windows/visitlist.h"

#include "system/visithistory.h"

#include <QDateTime>
#include <QFont>
#include <QLocale>

namespace {

enum Column { TimeColumn, TitleColumn, AddressColumn, Columns };

QDate dayOf(const Visit &visit)
{
    return QDateTime::fromMSecsSinceEpoch(visit.visited).date();
}

QString dayCaption(QDate day)
{
    const QDate today = QDate::currentDate();
    const QString date = QLocale().toString(day, QLocale::LongFormat);
    if (day == today)
        return QStringLiteral("Today, ") + date;
    if (day == today.addDays(-1))
        return QStringLiteral("Yesterday, ") + date;
    return date;
}

QVariant visitData(const Visit &visit, int column, int role)
{
    if (role == Qt::ToolTipRole && column != TimeColumn)
        return visit.address;
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case TimeColumn:
        return QLocale().toString(QDateTime::fromMSecsSinceEpoch(visit.visited).time(), QLocale::ShortFormat);
    case TitleColumn:
        return visit.title.isEmpty() ? visit.address : visit.title;
    default:
        return visit.address;
    }
}

} // namespace

VisitList::VisitList(VisitHistory &history, QObject *parent)
    : QAbstractTableModel(parent)
    , m_history(history)
{
    m_nextStep.setSingleShot(true);
    m_nextStep.setInterval(0);
    connect(&m_nextStep, &QTimer::timeout, this, &VisitList::readStep);
}

void VisitList::setSearchText(const QString &text)
{
    beginResetModel();
    m_nextStep.stop();
    m_text = text;
    m_rows.clear();
    m_visitCount = 0;
    m_search.emplace(m_history.search(text));
    m_done = false;
    m_answered = false;
    endResetModel();
    m_wanted = PageVisits;
    readStep();
}

void VisitList::readStep()
{
    if (!m_search || m_done)
        return;
    const VisitSearch::Step step = m_search->next(m_wanted - m_visitCount);
    m_done = step.done;
    append(step.visits);
    if (!m_done && m_visitCount < m_wanted) {
        m_nextStep.start();
        return;
    }
    if (!std::exchange(m_answered, true))
        Q_EMIT answered();
}

void VisitList::append(const QList<Visit> &visits)
{
    QList<Row> rows;
    QDate last = m_rows.isEmpty() ? QDate() : m_rows.constLast().day;
    for (const Visit &visit : visits) {
        const QDate day = dayOf(visit);
        if (day != last)
            rows.append({day, std::nullopt});
        rows.append({day, visit});
        last = day;
    }
    if (rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows.append(rows);
    m_visitCount += int(visits.size());
    endInsertRows();
}

void VisitList::readMore()
{
    if (!hasMore())
        return;
    m_wanted = m_visitCount + PageVisits;
    readStep();
}

std::optional<Visit> VisitList::visitAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).visit : std::nullopt;
}

QDate VisitList::dayAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).day : QDate();
}

bool VisitList::isDay(int row) const
{
    return row >= 0 && row < m_rows.size() && !m_rows.at(row).visit;
}

void VisitList::takeVisit(int row)
{
    if (row < 0 || row >= m_rows.size() || isDay(row))
        return;
    // The day's heading goes with its last visit listed.
    const bool alone = isDay(row - 1) && (row + 1 == m_rows.size() || isDay(row + 1));
    removeRowsAt(alone ? row - 1 : row, row);
}

void VisitList::takeDay(QDate day)
{
    int first = -1;
    int last = -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).day != day)
            continue;
        if (first < 0)
            first = row;
        last = row;
    }
    if (first >= 0)
        removeRowsAt(first, last);
}

void VisitList::removeRowsAt(int first, int last)
{
    beginRemoveRows({}, first, last);
    for (int row = first; row <= last; ++row)
        m_visitCount -= m_rows.at(row).visit ? 1 : 0;
    m_rows.remove(first, last - first + 1);
    endRemoveRows();
}

int VisitList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VisitList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant VisitList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    if (row.visit)
        return visitData(*row.visit, index.column(), role);
    if (role == Qt::FontRole) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return role == Qt::DisplayRole && index.column() == TimeColumn ? QVariant(dayCaption(row.day)) : QVariant();
}

QVariant VisitList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const char *const titles[] = {"Time", "Title", "Address"};
    return section >= 0 && section < Columns ? QVariant(QLatin1String(titles[section])) : QVariant();
}

Qt::ItemFlags VisitList::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
