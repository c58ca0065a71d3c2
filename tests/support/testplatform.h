#pragma once

#include "platform/platform.h"
#include "platform/settingsstore.h"
#include "support/scriptedbrowser.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Message boxes that only record what they were asked to say.
class ScriptedDialogs : public Dialogs
{
public:
    void message(QWidget *, const QString &title, const QString &text) override
    {
        messages << title + QStringLiteral(": ") + text;
    }
    QStringList messages;
};

// A platform for window tests: a temporary program folder and settings store, scripted
// browsers and dialogs. Nothing touches the user's files.
struct TestPlatform
{
    QTemporaryDir folder;
    QTemporaryDir settingsFolder;
    SettingsStore settings{settingsFolder.path()};
    ScriptedDialogs dialogs;
    Platform platform{settings, ProgramFolder(folder.path()), dialogs,
                      [](QWidget *parent) { return new ScriptedBrowser(parent); }};

    QString historyPath() const { return QDir(folder.path()).filePath(QStringLiteral("address.lst")); }

    void writeHistory(const QByteArray &bytes) const
    {
        QFile f(historyPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
};
