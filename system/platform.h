#pragma once

#include "system/pingsocket.h"
#include "system/programfolder.h"

#include <QString>
#include <functional>
#include <memory>

class BrowsingData;
class QPrinter;
class QUrl;
class QWidget;
class SettingsStore;
class VisitHistory;
class WebBrowser;

// The dialogs the windows ask through, behind a seam so tests can answer them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A message with an OK button and no icon.
    virtual void message(QWidget *parent, const QString &title, const QString &text) = 0;
    // A file to open; filter is "description|pattern;pattern|...". Empty when cancelled.
    virtual QString openFile(QWidget *parent, const QString &title, const QString &filter,
                             const QString &fileName) = 0;
    // A printer chosen by the user (no page-range fields), or nullptr when cancelled.
    virtual std::unique_ptr<QPrinter> choosePrinter(QWidget *parent, const QString &title) = 0;
    // A file to write, filter as openFile's; an existing one only once the user agreed
    // to replace it. Empty when cancelled.
    virtual QString saveFile(QWidget *parent, const QString &title, const QString &filter,
                             const QString &fileName) = 0;
    // Yes or no; no is the default answer.
    virtual bool confirm(QWidget *parent, const QString &title, const QString &text) = 0;
    // A name and a place for something new: *name comes proposed and goes back chosen,
    // *place is the index of one of places (shown as given, in order). False when
    // cancelled.
    virtual bool nameAndPlace(QWidget *parent, const QString &title, QString *name, const QStringList &places,
                              int *place) = 0;
};

// Starting another program without waiting for it.
class ProgramLauncher
{
public:
    virtual ~ProgramLauncher() = default;
    // False with the reason in *error when it could not be started.
    virtual bool startDetached(const QString &commandLine, QString *error) = 0;
    // A file or folder opened by the desktop in the program the user chose for its kind;
    // only ever at the user's own click. False when the desktop could not.
    virtual bool openOnDesktop(const QUrl &url) = 0;
};

// The hosted components and files the windows work with: the real ones in the program,
// scripted ones and temporary folders in tests.
struct Platform
{
    SettingsStore &settings;
    ProgramFolder folder;
    Dialogs &dialogs;
    ProgramLauncher &launcher;
    std::function<WebBrowser *(QWidget *parent)> makeBrowser;
    std::function<QString()> localAddress;
    // How the link ping resolves host names; empty for the system's resolver.
    PingSocket::Resolver resolver = {};
    // Cookies, site data and cached files, and whether this session keeps them.
    BrowsingData *browsingData = nullptr;
    // The pages visited; nothing recorded without it.
    VisitHistory *visits = nullptr;
};
