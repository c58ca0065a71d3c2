#pragma once

#include <QString>
#include <memory>

// The folder that holds the program. The help file lives beside it, and so do the files
// the program writes (the address history) when the folder can be written. Installed
// system-wide it cannot be, and those files go to the user's data folder instead.
class ProgramFolder
{
public:
    // Where the files the program writes are kept.
    enum class Keeping {
        BesideProgram, // the program's folder can be written
        UserData,      // it cannot: userDataFolder() instead
        Nowhere,       // neither can be written (nor the user's folder made)
    };

    explicit ProgramFolder(QString path);
    // The running program's own folder.
    static ProgramFolder ofRunningProgram();

    QString path() const { return m_path; }
    // A file beside the program, joined with the platform's separator.
    QString file(const QString &name) const;

    // Decided the first time it is asked, by making a file in the folder: as root, file
    // modes stop no write, while a read-only mount does. The answer then holds for this
    // folder and every copy of it, so all windows keep their files in one place.
    Keeping keeping() const;
    // Where a file the program writes is kept: beside the program or, when its folder
    // cannot be written, in the user's data folder (made, owner-only, as needed).
    QString keptFile(const QString &name) const;
    // True the first time only, of this folder and its copies: where the files are kept
    // is said once a run, not once a window.
    bool claimNotice() const;

    // $XDG_DATA_HOME/Halvane, by default ~/.local/share/Halvane.
    static QString userDataFolder();

private:
    struct Decision;
    QString m_path;
    std::shared_ptr<Decision> m_decision;
};
