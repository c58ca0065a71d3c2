#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <memory>
#include <optional>

// What the tests of the real engine share.
namespace enginetesting {

inline constexpr int LoadTimeoutMs = 10000;

// A small page with a title.
inline QByteArray page(const char *title, const QByteArray &body = "<p>text</p>")
{
    return QByteArray("<html><head><title>") + title + "</title></head><body>" + body + "</body></html>";
}

// Polls like QTRY_VERIFY, but answers instead of failing. QTest::qWaitFor is not used:
// it runs one event pass per 10 ms nap, which starves the engine's work on this thread
// and makes every load take seconds.
template<typename Predicate>
bool waitUntil(Predicate done, int timeoutMs = LoadTimeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// The page's answer to a script, or none when it did not come in time. Shared with the
// callback, as the answer may still come after the wait has given up.
inline std::optional<QVariant> evaluate(QWebEnginePage *page, const QString &script)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [answer](const QVariant &value) { *answer = value; });
    waitUntil([&] { return answer->has_value(); });
    return *answer;
}

} // namespace enginetesting
