#pragma once

#include "system/platform.h"

#include <QStringList>

// The dialogs and program start as the user sees them.
class QtDialogs : public Dialogs
{
public:
    void message(QWidget *parent, const QString &title, const QString &text) override;
    QString openFile(QWidget *parent, const QString &title, const QString &filter,
                     const QString &fileName) override;
    std::unique_ptr<QPrinter> choosePrinter(QWidget *parent, const QString &title) override;
    QString saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &fileName) override;
    bool confirm(QWidget *parent, const QString &title, const QString &text) override;
    bool nameAndPlace(QWidget *parent, const QString &title, QString *name, const QStringList &places,
                      int *place) override;

    // "description|pattern;pattern|..." as file-dialog name filters. The patterns are
    // taken as written: "htm" without "*." stands for a file named exactly "htm".
    static QStringList nameFilters(const QString &filter);
};

class QtProgramLauncher : public ProgramLauncher
{
public:
    bool startDetached(const QString &commandLine, QString *error) override;
    bool openOnDesktop(const QUrl &url) override;
};
