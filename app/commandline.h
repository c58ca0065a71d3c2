#pragma once

#include <QString>
#include <QStringList>

// What the program was started with: the addresses to open, or a reason to end at once.
namespace commandline {

struct Outcome {
    // To open in order: the first in Document 1, each further one in the next window.
    QStringList addresses;
    // For standard output (help, version) and standard error (refusals, a bad option).
    QString output;
    QString errors;
    // Whether to end before anything starts, and with which status.
    bool exit = false;
    int exitStatus = 0;
};

// The version the about box shows, e.g. "1.0.2".
QString version();

// arguments as the program got them (the first is the program); relative file paths are
// taken from workingFolder; version is the about box's, e.g. "1.0.2". Qt's own options
// (-platform, -style ...) and the engine's switches after --webEngineArgs are left to them.

Outcome read(const QStringList &arguments, const QString &workingFolder, const QString &version);

// read() over the program's own arguments and working folder, its texts printed.
Outcome readAndReport(int argc, char *argv[]);

} // namespace commandline
