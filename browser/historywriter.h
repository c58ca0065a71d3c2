#pragma once

#include "browser/historyfile.h"

#include <QString>
#include <functional>
#include <memory>

// One document window's writes to the history file, done off the UI thread so a large
// file never stalls the window. A single worker runs every window's writes one at a
// time. A page can move its address many times a second (scripts, fragments), and each
// write rewrites the whole file: so a window writes at most once a second. Its first
// write goes at once, later ones within the second wait for the second's end, and only
// the newest address then waiting is written. A write that found the file locked by
// another writer is tried again after a pause until it lands; one that cannot be made
// for another reason (a folder that cannot be written) is given up, without a word to
// the user (the log says why, once).
class HistoryWriter
{
public:
    // How a write is made: historyfile::appendAddress, its failures logged (empty for
    // that); tests count writes through it.
    using WriteFunction
        = std::function<historyfile::WriteResult(const QString &path, const QString &previousOwn, const QString &address)>;

    explicit HistoryWriter(QString path, WriteFunction write = {});

    // Writes address in place of this window's previous one, now or within a second.
    void append(const QString &address);

    // Makes every window's waiting writes now and waits until they are done (at exit,
    // and in tests). A write still shut out by another writer's lock after ten seconds
    // of this is given up.
    static void waitForAll();

    static constexpr int SpacingMs = 1000;
    static constexpr int RetryPauseMs = 500;

    struct State; // shared with the worker, which may outlive the window

private:
    std::shared_ptr<State> m_state;
};
