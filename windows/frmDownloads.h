#pragma once

#include <QWidget>

class DownloadList;
class ProgramLauncher;
class QLabel;
class QPushButton;
class QTreeView;

// "Downloads": this session's and earlier ones' downloads, newest first, with name, size
// and state (progress and speed while running). The buttons act on the chosen download
// and are enabled as its state allows: Cancel while it runs; Open and Show in folder
// once it has finished, through the desktop, only at the user's click; Retry when it
// failed or was cancelled; Remove (from the list, not the disk) when it does not run.
// Modeless; the main window keeps one at a time.
class frmDownloads : public QWidget
{
    Q_OBJECT
public:
    frmDownloads(DownloadList &list, ProgramLauncher &launcher, QWidget *parent = nullptr);

    QTreeView *const lstDownloads;
    QPushButton *const cmdCancel;
    QPushButton *const cmdOpen;
    QPushButton *const cmdShowInFolder;
    QPushButton *const cmdRetry;
    QPushButton *const cmdRemove;
    // Why Open or Show in folder did nothing; empty otherwise.
    QLabel *const lblMessage;

    // The chosen download's row in the list, -1 when none is chosen.
    int currentRow() const;

    void cmdCancel_Click();
    void cmdOpen_Click();
    void cmdShowInFolder_Click();
    void cmdRetry_Click();
    void cmdRemove_Click();

private:
    void buildList();
    void showButtons();
    // The desktop opens path (the chosen download's file or its folder), if it is there.
    void openOnDesktop(const QString &path, const QString &name);

    DownloadList &m_list;
    ProgramLauncher &m_launcher;
};
