#pragma once

#include "system/visitsearch.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QTimer>
#include <optional>

class VisitHistory;

// The visits a search finds, newest first, under a heading row for each day (local
// time): Time, Title, Address. It reads a page of visits at a time, and more when asked
// (as the view nears its end); a search whose matches are rare reads on in short steps
// from the event loop, so that typing is never held up. Not through the models' own
// canFetchMore: a tree view asks for more at every layout, and would read every visit.
class VisitList : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit VisitList(VisitHistory &history, QObject *parent = nullptr);

    // Starts the search afresh (an empty text lists every visit).
    void setSearchText(const QString &text);
    QString searchText() const { return m_text; }
    // The same search again, from the newest visit.
    void reload() { setSearchText(m_text); }

    // The visit of a row; nothing for a day's heading.
    std::optional<Visit> visitAt(int row) const;
    // The day a row belongs to.
    QDate dayAt(int row) const;
    bool isDay(int row) const;
    // Visits listed so far; whether every match is listed.
    int visitCount() const { return m_visitCount; }
    bool complete() const { return m_done; }
    // Whether readMore() would read.
    bool hasMore() const { return !m_done && !m_nextStep.isActive(); }
    // The next page of visits.
    void readMore();

    // Takes a deleted visit's row away (and its day's heading when it was the last).
    void takeVisit(int row);
    // Takes a deleted day's rows away.
    void takeDay(QDate day);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Visits read each time.
    static constexpr int PageVisits = 200;

Q_SIGNALS:
    // The first page of a search is listed, or all there is when that is less.
    void answered();

private:
    struct Row
    {
        QDate day;
        std::optional<Visit> visit; // none: the day's heading
    };
    void readStep();
    void append(const QList<Visit> &visits);
    void removeRowsAt(int first, int last);

    VisitHistory &m_history;
    QString m_text;
    std::optional<VisitSearch> m_search;
    QList<Row> m_rows;
    int m_visitCount = 0;
    int m_wanted = 0;
    bool m_done = true;
    bool m_answered = false;
    QTimer m_nextStep;
};
