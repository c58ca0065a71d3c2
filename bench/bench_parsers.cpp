// How fast the two file readers go through 10 MB of realistic input: the address history
// (from a QBuffer as a window reads the file, and fed to the field reader in small pieces)
// and the help file's RTF reader (a formatted document into a QTextDocument). Inputs are
// built in memory, the same bytes every run. Prints MB/s (10^6 bytes a second of wall
// time); never fails on time. Each input is read once and checked before it is timed, so
// a reader that stops early cannot look fast.
#include "browser/historyfile.h"
#include "formats/rtfreader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTextDocument>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr qsizetype InputBytes = 10'000'000;

struct HistoryInput
{
    QByteArray bytes;
    qsizetype entries = 0;
};

// An address.lst as windows write it: an empty first line, then one address a line,
// CR LF; an address with a comma in it is quoted.
const HistoryInput &historyInput()
{
    static const HistoryInput input = [] {
        HistoryInput in;
        in.bytes.reserve(InputBytes + 256);
        in.bytes += "\r\n";
        static const char *const hosts[] = {"www.example.com", "news.example.org", "docs.example.net",
                                            "shop.example.co.uk", "127.0.0.1:8080", "intranet.local"};
        for (quint32 n = 0; in.bytes.size() < InputBytes; ++n) {
            const QByteArray host = hosts[n % std::size(hosts)];
            const QByteArray num = QByteArray::number(n);
            if (n % 10 == 3)
                in.bytes += "\"http://maps." + host + "/search?ll=51.50" + num + ",-0.12&z=" + num + "\"\r\n";
            else if (n % 10 == 7)
                in.bytes += "http://" + host + "/\r\n";
            else
                in.bytes += "http://" + host + "/articles/" + QByteArray::number(n % 997) + "/page-" + num
                            + ".html?ref=history&id=" + QByteArray::number(n * 2654435761u) + "\r\n";
            ++in.entries;
        }
        return in;
    }();
    return input;
}

// A formatted document as a word processor saves one: a font table (one font in a
// Cyrillic character set), a colour table, headings and body paragraphs with bold and
// italic groups, \'xx bytes and \u characters.
struct RtfInput
{
    QByteArray bytes;
    int paragraphs = 0;
};

const RtfInput &rtfInput()
{
    static const RtfInput input = [] {
        RtfInput in;
        in.bytes.reserve(InputBytes + 1024);
        in.bytes += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720\n"
                    "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset0 Times New Roman;}"
                    "{\\f2\\fmodern\\fcharset0 Courier New;}{\\f3\\fswiss\\fcharset204 Arial Cyr;}}\n"
                    "{\\colortbl;\\red0\\green51\\blue102;\\red153\\green0\\blue0;}\n"
                    "{\\info{\\title A long document}{\\author Halvane}}\n"
                    "\\viewkind4\\uc1\n";
        for (int n = 0; in.bytes.size() < InputBytes; ++n) {
            const QByteArray num = QByteArray::number(n);
            if (n % 20 == 0) {
                in.bytes += "\\pard\\sb200\\sa80\\plain\\f0\\fs28\\b\\cf1 Section " + num + "\\par\n";
            } else {
                in.bytes += "\\pard\\sa120\\fi360\\plain\\f1\\fs22 Paragraph " + num
                            + ": the caf\\'e9 on the {\\b corner} serves {\\i cr\\'e8me br\\'fbl\\'e9e} at "
                              "\\u8364?4 \\endash  see {\\f2\\fs20 http://example.org/" + num
                            + "} and {\\b\\i\\cf2 read it twice}. \\ldblquote Quoted words,\\rdblquote  said "
                              "{\\f3\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}, then \\u20013?\\u25991?. The quick brown "
                              "fox jumps over the lazy dog, and the lazy dog lets it.\\par\n";
            }
            ++in.paragraphs;
        }
        in.bytes += "}\n";
        return in;
    }();
    return input;
}

void historyFromBuffer(benchmark::State &state)
{
    const HistoryInput &in = historyInput();
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(in.bytes);
        buffer.open(QIODevice::ReadOnly);
        historyfile::ReadResult result = historyfile::read(buffer);
        benchmark::DoNotOptimize(result);
        if (!result.ok || result.entries.size() != in.entries)
            state.SkipWithError("history reader lost entries");
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

void historyInPieces(benchmark::State &state)
{
    const HistoryInput &in = historyInput();
    const qsizetype piece = state.range(0);
    for (auto _ : state) {
        historyfile::FieldReader reader;
        for (qsizetype at = 0; at < in.bytes.size(); at += piece)
            reader.feed(in.bytes.constData() + at, qMin(piece, in.bytes.size() - at));
        reader.finish();
        QStringList entries = reader.takeEntries();
        benchmark::DoNotOptimize(entries);
        if (entries.size() != in.entries)
            state.SkipWithError("field reader lost entries");
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

void rtfDocument(benchmark::State &state)
{
    const RtfInput &in = rtfInput();
    for (auto _ : state) {
        auto doc = std::make_unique<QTextDocument>();
        const RtfResult result = loadRtf(in.bytes, *doc);
        // Freeing the document is not the reader's work.
        state.PauseTiming();
        if (!result.ok || doc->blockCount() < in.paragraphs)
            state.SkipWithError("RTF reader refused the document or lost paragraphs");
        doc.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * in.bytes.size());
}

// Reads each input once and checks it came out whole and decoded, so the timings are of
// real work.
bool inputsReadWhole()
{
    const HistoryInput &history = historyInput();
    QBuffer buffer;
    buffer.setData(history.bytes);
    buffer.open(QIODevice::ReadOnly);
    const historyfile::ReadResult read = historyfile::read(buffer);
    if (!read.ok || read.entries.size() != history.entries
        || read.entries.at(3) != QLatin1String("http://maps.shop.example.co.uk/search?ll=51.503,-0.12&z=3")) {
        std::fprintf(stderr, "bench_parsers: history input read as %lld entries of %lld\n",
                     static_cast<long long>(read.entries.size()), static_cast<long long>(history.entries));
        return false;
    }
    const RtfInput &rtf = rtfInput();
    QTextDocument doc;
    const RtfResult result = loadRtf(rtf.bytes, doc);
    const QString text = doc.toPlainText();
    const bool whole = result.ok && doc.blockCount() >= rtf.paragraphs
                       && text.contains(QStringLiteral(u"caf\u00e9 on the corner serves cr\u00e8me br\u00fbl\u00e9e at \u20ac4"))
                       && text.contains(QStringLiteral(u"said \u041f\u0440\u0438\u0432\u0435\u0442, then \u4e2d\u6587."))
                       && text.contains(QStringLiteral("Paragraph %1:").arg(rtf.paragraphs - 1));
    if (!whole) {
        std::fprintf(stderr, "bench_parsers: RTF input read wrong (%s; %d blocks for %d paragraphs)\n",
                     qPrintable(result.error), doc.blockCount(), rtf.paragraphs);
        return false;
    }
    return true;
}

// Shows the usual console table and keeps each run's bytes a second for the figures.
class FigureReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal: scripts/bench.sh keeps this output.
    FigureReporter()
        : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular)
    {
    }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (!run.error_occurred && rate != run.counters.end())
                bytesPerSecond[run.benchmark_name()] = rate->second.value;
        }
    }
    std::map<std::string, double> bytesPerSecond;
};

} // namespace

BENCHMARK(historyFromBuffer)->Name("history/read_QBuffer")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(historyInPieces)->Name("history/FieldReader_pieces")->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(rtfDocument)->Name("rtf/loadRtf")->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!inputsReadWhole())
        return 1;
    std::printf("inputs: address.lst %.1f MB (%lld addresses), RTF %.1f MB (%d paragraphs)\n",
                double(historyInput().bytes.size()) / 1e6, static_cast<long long>(historyInput().entries),
                double(rtfInput().bytes.size()) / 1e6, rtfInput().paragraphs);
    std::fflush(stdout);

    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::pair<const char *, const char *> figures[] = {
        {"history/read_QBuffer", "History reader, 10 MB"},
        {"history/FieldReader_pieces/4096", "History field reader, 10 MB in 4 KiB pieces"},
        {"rtf/loadRtf", "RTF reader, 10 MB document"},
    };
    // Run names carry suffixes such as "/real_time".
    for (const auto &[run, figure] : figures) {
        for (const auto &[name, rate] : reporter.bytesPerSecond) {
            if (name.rfind(run, 0) == 0)
                std::printf("FIGURE\t%s\t%.0f MB/s\t-\t-\t-\t-\n", figure, rate / 1e6);
        }
    }
    return 0;
}
