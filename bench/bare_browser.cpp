// The bare reference program: N windows, each a QMainWindow with one QWebEngineView on an
// address, and no Halvane code. For bench_startup it prints, on the monotonic clock the
// program's start-up trace uses,
//   first view shown at <ms> ms      (the first window's first paint)
//   all views loaded at <ms> ms (<ok> of <n> well)
// Usage: bare_browser [--windows N] [--url URL] [--size WxH] [--mdi WxH]
// (--mdi: the views as subwindows of one main window of that size with a QMdiArea)
#include "barebrowser.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Windows with one bare web view each."));
    options.addHelpOption();
    const QCommandLineOption windowsOption(QStringLiteral("windows"), QStringLiteral("Windows to open."),
                                           QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption urlOption(QStringLiteral("url"), QStringLiteral("Address each view loads."),
                                       QStringLiteral("URL"), QStringLiteral("about:blank"));
    const QSize defaultSize = barebrowser::defaultViewSize();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Size of each view."), QStringLiteral("WxH"),
        QString::number(defaultSize.width()) + QLatin1Char('x') + QString::number(defaultSize.height()));
    const QCommandLineOption mdiOption(QStringLiteral("mdi"),
                                       QStringLiteral("One main window of this size, the views in its QMdiArea."),
                                       QStringLiteral("WxH"));
    options.addOptions({windowsOption, urlOption, sizeOption, mdiOption});
    options.process(app);

    bool ok = false;
    const int windows = options.value(windowsOption).toInt(&ok);
    const QStringList size = options.value(sizeOption).split(QLatin1Char('x'));
    bool wOk = false;
    bool hOk = false;
    const QSize viewSize(size.value(0).toInt(&wOk), size.value(1).toInt(&hOk));
    const QUrl url = QUrl::fromUserInput(options.value(urlOption));
    QSize mainSize;
    if (options.isSet(mdiOption)) {
        const QStringList main = options.value(mdiOption).split(QLatin1Char('x'));
        mainSize = QSize(main.value(0).toInt(), main.value(1).toInt());
    }
    if (!ok || windows < 1 || !wOk || !hOk || viewSize.isEmpty() || !url.isValid()
        || (options.isSet(mdiOption) && mainSize.isEmpty())) {
        std::fprintf(stderr, "bare_browser: bad --windows, --size, --mdi or --url\n");
        return 2;
    }

    barebrowser::Browser browser(
        url, windows, viewSize,
        [] {
            std::printf("first view shown at %lld ms\n", static_cast<long long>(barebrowser::nowMs()));
            std::fflush(stdout);
        },
        [windows](int loadedWell) {
            std::printf("all views loaded at %lld ms (%d of %d well)\n",
                        static_cast<long long>(barebrowser::nowMs()), loadedWell, windows);
            std::fflush(stdout);
        },
        mainSize);
    return app.exec();
}
