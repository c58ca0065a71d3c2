// The history of visits with a million of them: recording them through the store's own
// batches, the size of the database, the History window shown, and searches answered
// (the first page of matches listed, or all there are when fewer). Prints figures; never
// fails on time.
#include "benchfigures.h"

#include "system/visitdatabase.h"
#include "system/visithistory.h"
#include "windows/frmHistory.h"
#include "windows/visitlist.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// As many visits as given (a million by default), on a page for each four.
int Visits = 1'000'000;
int Pages = 250'000;
constexpr int Runs = 5;
constexpr qint64 DayMs = 24 * 60 * 60 * 1000;
// Well inside the 90 days a start keeps.
constexpr int Days = 85;

// Made-up words from syllables that hold no q, x or z: a text with those letters is in
// no address or title.
QStringList makeWords(QRandomGenerator &random, int count)
{
    const char *const syllables[] = {"ka", "lo", "mi", "ter", "an", "ve", "dro", "sun", "pel", "bri", "fol", "gen",
                                     "hu", "jas", "wel", "orm", "tal", "ri", "mon", "est", "ca", "dia", "nor", "pu",
                                     "sel", "wy", "bor", "cle", "ath", "gri"};
    QStringList words;
    for (int i = 0; i < count; ++i) {
        QString word;
        for (int n = int(random.bounded(2, 5)); n > 0; --n)
            word += QLatin1String(syllables[random.bounded(int(std::size(syllables)))]);
        words << word;
    }
    return words;
}

struct Page
{
    QString address;
    QString title;
};

// Addresses of some 60 characters and titles of some 40, on 3000 hosts, the popular ones
// visited far more often.
QList<Page> makePages(QRandomGenerator &random)
{
    const QStringList words = makeWords(random, 20000);
    const auto word = [&] { return words.at(random.bounded(int(words.size()))); };
    const char *const domains[] = {"com", "org", "net", "de", "io"};
    QStringList hosts;
    for (int i = 0; i < 3000; ++i)
        hosts << QStringLiteral("www.%1.%2").arg(word(), QLatin1String(domains[random.bounded(5)]));
    QList<Page> pages;
    for (int i = 0; i < Pages; ++i) {
        QString address = QStringLiteral("https://") + hosts.at(int(3000 * std::pow(random.generateDouble(), 2)));
        for (int n = int(random.bounded(1, 5)); n > 0; --n)
            address += u'/' + word();
        if (random.bounded(10) < 3)
            address += QStringLiteral("?id=%1").arg(random.bounded(1, 1'000'000));
        QStringList title;
        for (int n = int(random.bounded(2, 8)); n > 0; --n) {
            QString w = word();
            w[0] = w[0].toUpper();
            title << w;
        }
        pages.append({address, title.join(u' ')});
    }
    return pages;
}

// What each table and index of the file takes (SQLite's dbstat), largest first.
void printParts(const QString &path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("parts"));
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT name, sum(pgsize) FROM dbstat GROUP BY name ORDER BY 2 DESC"))) {
            while (q.next())
                std::printf("  %-28s %7.1f MB\n", qUtf8Printable(q.value(0).toString()), q.value(1).toDouble() / 1e6);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("parts"));
}

double fileMb(const QString &path)
{
    qint64 bytes = 0;
    for (const char *suffix : {"", "-wal", "-shm"})
        bytes += QFileInfo(path + QLatin1String(suffix)).size();
    return double(bytes) / 1e6;
}

// Records the visits as document windows do, newest last, through the store's batches
// (waiting for each 10,000 so the queue stays small); the seconds it took.
double record(VisitHistory &history, const QList<Page> &pages, QRandomGenerator &random)
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - Days * DayMs;
    const qint64 step = Days * DayMs / Visits;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < Visits; ++i) {
        const Page &page = pages.at(int(Pages * std::pow(random.generateDouble(), 3)));
        history.record(page.address, start + i * step);
        history.setTitle(page.address, page.title);
        if (i % 10000 == 9999)
            history.flush();
    }
    history.flush();
    return double(clock.elapsed()) / 1000.0;
}

// Until the window has listed what its search answers first, and drawn it.
void waitForAnswer(const bool &answered)
{
    while (!answered)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

double windowShownMs(VisitHistory &history)
{
    QElapsedTimer clock;
    clock.start();
    auto window = std::make_unique<frmHistory>(history);
    bool answered = window->list()->complete() || window->list()->visitCount() >= VisitList::PageVisits;
    QObject::connect(window->list(), &VisitList::answered, window.get(), [&answered] { answered = true; });
    window->show();
    waitForAnswer(answered);
    return double(clock.nsecsElapsed()) / 1e6;
}

struct Answer
{
    double ms;
    int listed;
};

Answer searchAnswered(frmHistory &window, const QString &text)
{
    window.txtSearch->clear();
    QCoreApplication::processEvents();
    bool answered = false;
    const QMetaObject::Connection c
        = QObject::connect(window.list(), &VisitList::answered, &window, [&answered] { answered = true; });
    QElapsedTimer clock;
    clock.start();
    window.txtSearch->setText(text);
    waitForAnswer(answered);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    QObject::disconnect(c);
    return {ms, window.list()->visitCount()};
}

// One line of scripts/bench.sh's table, for the count of visits.
void printFigure(const QString &name, double value, const char *unit, double goal)
{
    std::printf("FIGURE\tVisits, %s: %s\t%.*f %s\t-\t-\t< %.0f %s\t%s\n",
                qUtf8Printable(QLocale(QLocale::English).toString(Visits)), qUtf8Printable(name), value < 10 ? 1 : 0,
                value, unit, goal, unit, value < goal ? "met" : "missed");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]).toInt() > 0) {
        Visits = QByteArray(argv[1]).toInt();
        Pages = std::max(1, Visits / 4);
    }
    QTemporaryDir folder;
    QRandomGenerator random(20261208);
    const QList<Page> pages = makePages(random);
    double recordS = 0;
    {
        VisitHistory history(folder.path(), true, 90);
        recordS = record(history, pages, random);
    }
    const QString path = QDir(folder.path()).filePath(visitdatabase::fileName());
    const double sizeMb = fileMb(path);
    std::printf("%d visits of %d pages recorded in %.1f s (%.0f visits/s); database %.1f MB\n", Visits, Pages,
                recordS, Visits / recordS, sizeMb);
    printParts(path);

    QElapsedTimer open;
    open.start();
    VisitHistory history(folder.path(), true, 90);
    history.flush(); // the start's pruning, which finds nothing to prune
    std::printf("opened (and pruned) in %.1f ms\n", double(open.nsecsElapsed()) / 1e6);

    QList<double> shown;
    for (int run = 0; run < Runs; ++run)
        shown << windowShownMs(history);
    std::printf("History window shown with its first %d visits: median %.1f ms, max %.1f ms\n",
                VisitList::PageVisits, benchfigures::median(shown), *std::max_element(shown.begin(), shown.end()));

    frmHistory window(history);
    window.show();
    QCoreApplication::processEvents();
    const QString rareTitle = pages.at(std::max(0, Pages - 7)).title;
    const QList<std::pair<const char *, QString>> searches{
        {"a host's word, in most addresses", QStringLiteral("www")},
        {"a word of some titles", pages.at(std::min(100, Pages - 1)).title.section(u' ', 0, 0)},
        {"one page's title", rareTitle},
        {"three letters found nowhere", QStringLiteral("zqx")},
        {"two letters found nowhere", QStringLiteral("zq")},
        {"one letter", QStringLiteral("k")},
    };
    std::printf("%-36s %-28s %8s %10s %10s\n", "search", "text", "listed", "median ms", "max ms");
    for (const auto &[what, text] : searches) {
        QList<double> runs;
        int listed = 0;
        for (int run = 0; run < Runs; ++run) {
            const Answer answer = searchAnswered(window, text);
            runs << answer.ms;
            listed = answer.listed;
        }
        const double median = benchfigures::median(runs);
        std::printf("%-36s %-28s %8d %10.1f %10.1f\n", what, qUtf8Printable(text.left(28)), listed, median,
                    *std::max_element(runs.begin(), runs.end()));
        std::fflush(stdout);
        printFigure(QStringLiteral("search answered, ") + QLatin1String(what), median, "ms", 200);
    }
    std::printf("load average: %s\n", qPrintable(benchfigures::loadAverage()));
    printFigure(QStringLiteral("History window shown"), benchfigures::median(shown), "ms", 200);
    printFigure(QStringLiteral("database size"), sizeMb, "MB", 200);
    std::printf("FIGURE\tVisits, %s: recorded through the batches\t%.0f visits/s\t-\t-\t-\t-\n",
                qUtf8Printable(QLocale(QLocale::English).toString(Visits)), Visits / recordS);
    return 0;
}
