#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>

ProgramFolder::ProgramFolder(QString path)
    : m_path(std::move(path))
{
}

ProgramFolder ProgramFolder::ofRunningProgram()
{
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

QString ProgramFolder::file(const QString &name) const
{
    // QDir joins without doubling the separator when the folder is a root.
    return QDir::toNativeSeparators(QDir(m_path).filePath(name));
}
