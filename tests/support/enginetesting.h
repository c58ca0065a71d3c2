#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <memory>
#include <optional>

// What the tests of the real engine share.
namespace enginetesting {

inline constexpr int LoadTimeoutMs = 10000;

// A home folder of the test's own while it lives: what a download makes there (its
// folder) never reaches the user's. Made before the engine starts, it holds for the run.
class TemporaryHome
{
public:
    TemporaryHome()
        : m_home(qgetenv("HOME"))
        , m_config(qgetenv("XDG_CONFIG_HOME"))
    {
        if (!m_dir.isValid())
            return;
        // Owner-only, as a home folder is.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral(".config"))));
    }
    ~TemporaryHome()
    {
        qputenv("HOME", m_home);
        if (m_config.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_config);
    }
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QByteArray m_home;
    QByteArray m_config;
    QTemporaryDir m_dir;
};

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
