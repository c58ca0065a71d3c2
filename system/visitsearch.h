#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <limits>

// One visit as the database keeps it: when (ms since the epoch), which page.
struct Visit
{
    qint64 id = 0;
    qint64 visited = 0;
    QString address;
    QString title;
};

// The visits whose address or title holds a text (every visit for none), newest first,
// a few at a time from a reading connection. Letters A to Z match either case.
//
// How it stays quick with a million visits: a text of three or more characters is first
// looked up in the trigram index, which names the pages that may hold it. When those are
// few, only their visits are read (through the index by page). When they are many, or the
// text is too short for the index, the visits are read newest first and each page's text
// compared, at most WalkVisits of them a step, so that a step never takes long; the caller
// asks again for more. When the first such step (through the newest FirstWalkVisits)
// finds fewer than asked for, the text is rare: the pages are compared once instead, and
// only the matching ones' visits read.
class VisitSearch
{
public:
    // Reads through the connection (of the calling thread); none finds nothing.
    VisitSearch(QString connection, const QString &text);

    struct Step
    {
        QList<Visit> visits;
        bool done = false; // nothing older matches
    };
    // At most count visits older than those already given. Fewer (even none) with done
    // false when the step ended before it found count: ask again.
    Step next(int count);

    static constexpr int WalkVisits = 20000;
    // The first step's share, which tells a common text from a rare one.
    static constexpr int FirstWalkVisits = 2000;
    static constexpr int IndexedPages = 20000;

private:
    enum class Plan { Undecided, Everything, ByPages, Walk, PageScan };
    void choosePlan();
    Step read(const QString &statement, const QVariantList &values, int count);
    Step walk(int count);

    QString m_connection;
    QString m_text;
    QString m_pattern;  // for LIKE
    QString m_trigrams; // for the index; empty when the text is too short
    Plan m_plan = Plan::Undecided;
    // The oldest visit given: the next step starts below it.
    qint64 m_beforeVisited = std::numeric_limits<qint64>::max();
    qint64 m_beforeId = std::numeric_limits<qint64>::max();
    bool m_done = false;
    bool m_failed = false;
    bool m_firstWalk = true;
};
