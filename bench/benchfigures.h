#pragma once

// Small helpers the benchmarks share: medians, how far a shown figure is from a clock,
// and the large page they load.

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace benchfigures {

// A page of plain paragraphs of about bytes, the same for every benchmark that times
// a load; head goes into its head (a script that reports the load, say).
inline QByteArray paragraphsPage(qsizetype bytes, const QByteArray &head = {})
{
    QByteArray page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Paragraphs</title>\n" + head
                      + "</head><body>\n";
    const QByteArray words = " The quick brown fox jumps over the lazy dog, and the lazy dog lets it.";
    for (int n = 0; page.size() < bytes - 32; ++n) {
        page += "<p>Paragraph " + QByteArray::number(n) + '.';
        for (int i = 0; i < 3; ++i)
            page += words;
        page += "</p>\n";
    }
    page += "</body></html>\n";
    return page;
}

// The machine's load average as /proc/loadavg gives it, to print beside the figures.
inline QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()) : QStringLiteral("?");
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values.at(mid) : (values.at(mid - 1) + values.at(mid)) / 2;
}

// The number in a panel figure such as "123/ms"; nothing when the text is anything else.
inline std::optional<qint64> shownMs(const QString &text)
{
    if (!text.endsWith(QLatin1String("/ms")))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.chopped(3).toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// The tolerance a shown figure is held to: 2 ms or 2 % of the clock, whichever is larger.
inline bool within(double clockMs, double shown)
{
    return std::abs(clockMs - shown) <= std::max(2.0, 0.02 * clockMs);
}

// Lets the event loop run for ms milliseconds (QTest::qWait would starve the web engine).
inline void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Lets the event loop run until done() or timeoutMs.
inline void waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        settle(20);
}

// One row of an accuracy table: clock against shown figure, per run.
struct Accuracy
{
    QList<double> clock;
    QList<double> shown;
    double maxDiffMs = 0;
    double maxDiffPct = 0;
    bool allWithin = true;
    int missing = 0; // runs where no figure was shown

    void add(double clockMs, std::optional<qint64> shownFigure)
    {
        clock << clockMs;
        if (!shownFigure) {
            ++missing;
            allWithin = false;
            return;
        }
        const double s = double(*shownFigure);
        shown << s;
        const double diff = std::abs(clockMs - s);
        maxDiffMs = std::max(maxDiffMs, diff);
        if (clockMs > 0)
            maxDiffPct = std::max(maxDiffPct, 100.0 * diff / clockMs);
        allWithin = allWithin && within(clockMs, s);
    }
};

} // namespace benchfigures
