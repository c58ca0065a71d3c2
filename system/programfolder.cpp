#include "system/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <optional>
#include <utility>

namespace {

// Whether a file can be made in folder, found by making one (removed at once).
bool canWriteIn(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".halvane-XXXXXX")));
    return probe.open();
}

// Makes folder and the missing ones above it, readable by their owner only: the
// addresses kept there are private.
bool makeFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    if (info.exists() || info.isRoot())
        return false;
    return makeFolder(info.absolutePath())
           && QDir().mkdir(info.absoluteFilePath(),
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

struct ProgramFolder::Decision
{
    std::optional<Keeping> keeping;
    QString folder; // where the written files go
    bool noticed = false;
};

ProgramFolder::ProgramFolder(QString path)
    : m_path(std::move(path))
    , m_decision(std::make_shared<Decision>())
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

ProgramFolder::Keeping ProgramFolder::keeping() const
{
    Decision &d = *m_decision;
    if (d.keeping)
        return *d.keeping;
    if (canWriteIn(m_path)) {
        d.keeping = Keeping::BesideProgram;
        d.folder = m_path;
    } else {
        d.folder = userDataFolder();
        d.keeping = makeFolder(d.folder) && canWriteIn(d.folder) ? Keeping::UserData : Keeping::Nowhere;
    }
    return *d.keeping;
}

QString ProgramFolder::keptFile(const QString &name) const
{
    keeping();
    return QDir::toNativeSeparators(QDir(m_decision->folder).filePath(name));
}

bool ProgramFolder::claimNotice() const
{
    return !std::exchange(m_decision->noticed, true);
}

QString ProgramFolder::userDataFolder()
{
    // Not AppDataLocation: with the organization named like the program, that would be
    // .../Halvane/Halvane.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Halvane"));
}
