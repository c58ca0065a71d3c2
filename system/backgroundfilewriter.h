#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

// Keeps a file's content up to date from a thread of its own, so a large file never
// stalls a window. Each write replaces the whole file atomically (the old file stays
// whole when anything fails) and leaves it readable by its owner only. Content asked
// for while a write runs waits, and only the newest waiting is written.
class BackgroundFileWriter
{
public:
    // Makes the content on the writer's thread.
    using Content = std::function<QByteArray()>;
    // Told on the writer's thread why a write failed.
    using Failed = std::function<void(const QString &why)>;

    BackgroundFileWriter(QString path, Failed failed);
    // Writes what waits, then ends.
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter &) = delete;
    BackgroundFileWriter &operator=(const BackgroundFileWriter &) = delete;

    void write(Content content);
    // Returns once nothing waits and nothing is being written.
    void flush();

    // One write, here and now: false with *why when it failed.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *why);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
