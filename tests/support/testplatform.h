#pragma once

#include "browser/browserhost.h"
#include "browser/zoomlevels.h"
#include "engine/browsingdata.h"
#include "shared/measurements.h"
#include "support/scriptedbrowser.h"
#include "system/downloadlist.h"
#include "system/platform.h"
#include "system/settingsstore.h"
#include "windows/frmtool2.h"
#include "windows/toolspanelinstance.h"

#include <QHostAddress>
#include <QMdiArea>
#include <QTimer>
#include <QUrl>

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Dialogs that record what they were asked and give the answers a test set.
class ScriptedDialogs : public Dialogs
{
public:
    void message(QWidget *, const QString &title, const QString &text) override
    {
        messages << title + QStringLiteral(": ") + text;
    }
    QString openFile(QWidget *, const QString &title, const QString &filter, const QString &fileName) override
    {
        asked << QStringLiteral("open:") + title + QLatin1Char('|') + filter + QLatin1Char('|') + fileName;
        return openAnswer;
    }
    std::unique_ptr<QPrinter> choosePrinter(QWidget *, const QString &title) override
    {
        asked << QStringLiteral("printer:") + title;
        if (printToFile.isEmpty())
            return nullptr;
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printToFile);
        return printer;
    }

    QString saveFile(QWidget *, const QString &title, const QString &filter, const QString &fileName) override
    {
        asked << QStringLiteral("save:") + title + QLatin1Char('|') + filter + QLatin1Char('|') + fileName;
        return saveAnswer;
    }
    bool confirm(QWidget *, const QString &title, const QString &text) override
    {
        asked << QStringLiteral("confirm:") + title + QLatin1Char('|') + text;
        return confirmAnswer;
    }
    // Recorded as "nameAndPlace:<title>|<name proposed>|<places joined by |>".
    bool nameAndPlace(QWidget *, const QString &title, QString *name, const QStringList &places, int *place) override
    {
        asked << QStringLiteral("nameAndPlace:") + title + QLatin1Char('|') + *name + QLatin1Char('|')
                     + places.join(QLatin1Char('|'));
        if (nameAnswer.isNull())
            return false;
        if (!nameAnswer.isEmpty())
            *name = nameAnswer;
        *place = placeAnswer;
        return true;
    }

    QStringList messages;
    QStringList asked;
    QString openAnswer;  // empty: the user cancels
    QString printToFile; // empty: the user cancels
    QString saveAnswer;  // empty: the user cancels
    bool confirmAnswer = false;
    // Null: the user cancels; empty: takes the name proposed.
    QString nameAnswer;
    int placeAnswer = 0;
};

// Starts nothing; records the command line or the address opened and fails or succeeds
// as told.
class ScriptedLauncher : public ProgramLauncher
{
public:
    bool startDetached(const QString &commandLine, QString *error) override
    {
        started << commandLine;
        if (!failure.isEmpty())
            *error = failure;
        return failure.isEmpty();
    }
    bool openOnDesktop(const QUrl &url) override
    {
        opened << url.toString();
        return failure.isEmpty();
    }
    QStringList started;
    QStringList opened;
    QString failure;
};

// Records what it was asked to delete; keeps its data or not as told; its downloads
// list is in memory only.
class ScriptedBrowsingData : public BrowsingData
{
public:
    explicit ScriptedBrowsingData(QString folder = {}) : dataFolderPath(std::move(folder)) {}
    bool kept() const override { return notice.isEmpty(); }
    QString dataFolder() const override { return dataFolderPath; }
    QString note() const override { return notice; }
    void deleteCookiesAndSiteData() override { deleted << QStringLiteral("cookies"); }
    void deleteCachedFiles() override { deleted << QStringLiteral("cache"); }
    DownloadList &downloads() override { return list; }
    QString dataFolderPath;
    QString notice;
    QStringList deleted;
    DownloadList list;
};

// Resolves only numeric addresses, and fails every name a moment later, as a lookup
// that finds nothing would: no test ever asks a name server.
inline void resolveLiteralsOnly(const QString &host, QObject *context,
                                std::function<void(const QList<QHostAddress> &)> done)
{
    QHostAddress literal;
    QList<QHostAddress> found;
    if (literal.setAddress(host))
        found << literal;
    QTimer::singleShot(0, context, [done = std::move(done), found] { done(found); });
}

// What a document window reaches outside itself, without a main window.
class TestHost : public BrowserHost
{
public:
    explicit TestHost(QMdiArea *area)
        : tools(area, shared)
    {
    }
    void writeStatusText(const QString &text) override
    {
        status = text;
        ++statusWrites;
    }
    ToolsPanelDisplay &loadedToolsPanel() override { return *tools.get(); }
    Measurements &measurements() override { return shared; }
    void flashStatusText(const QString &text) override { flashed = text; }
    ZoomLevels &zoomLevels() override { return zoom; }
    // Records the request ("behind:" marks one asked for behind) and makes no window:
    // the request is refused.
    WebBrowser *openInNewWindow(const QString &address, bool behind) override
    {
        newWindows << (behind ? QStringLiteral("behind:") : QString()) + address;
        return nullptr;
    }

    Measurements shared;
    QStringList newWindows;
    ToolsPanelInstance tools;
    QString status;
    int statusWrites = 0;
    QString flashed;
    ZoomLevels zoom;
};

// A platform for window tests: a temporary program folder and settings store, scripted
// browsers and dialogs. Nothing touches the user's files.
struct TestPlatform
{
    QTemporaryDir folder;
    QTemporaryDir settingsFolder;
    SettingsStore settings{settingsFolder.path()};
    ScriptedDialogs dialogs;
    ScriptedLauncher launcher;
    // The profile's data folder: favorites.
    QTemporaryDir dataFolder;
    ScriptedBrowsingData browsingData{dataFolder.path()};
    QString machineAddress = QStringLiteral("192.0.2.7");
    int machineAddressReads = 0;
    Platform platform{settings,
                      ProgramFolder(folder.path()),
                      dialogs,
                      launcher,
                      [](QWidget *parent) { return new ScriptedBrowser(parent); },
                      [this] {
                          ++machineAddressReads;
                          return machineAddress;
                      },
                      &resolveLiteralsOnly,
                      &browsingData};

    QString historyPath() const { return QDir(folder.path()).filePath(QStringLiteral("address.lst")); }

    void writeHistory(const QByteArray &bytes) const
    {
        QFile f(historyPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
};
