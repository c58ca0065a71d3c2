#pragma once

#include <QString>

// The folder that holds the program; the history and help files live beside it.
class ProgramFolder
{
public:
    explicit ProgramFolder(QString path);
    // The running program's own folder.
    static ProgramFolder ofRunningProgram();

    QString path() const { return m_path; }
    // A file beside the program, joined with the platform's separator.
    QString file(const QString &name) const;

private:
    QString m_path;
};
