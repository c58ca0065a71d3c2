#include "app/commandline.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "browser/historywriter.h"
#include "engine/browsingprofile.h"
#include "engine/desktopnotifications.h"
#include "engine/drawingpath.h"
#include "engine/qtenginedialogs.h"
#include "engine/webenginebrowser.h"
#include "system/localaddress.h"
#include "system/proxychoice.h"
#include "system/qtdialogs.h"
#include "system/quietlog.h"
#include "system/settingsstore.h"
#include "windows/internetoptions.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Help, the version and a bad option end here, before the engine or a display is needed.
    const commandline::Outcome given = commandline::readAndReport(argc, argv);
    if (given.exit)
        return given.exitStatus;

    // As root the engine aborts without its sandbox; say so plainly instead. Turning the
    // sandbox off is the user's decision, never ours.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        std::fputs("halvane: running as root, where the web engine cannot use its sandbox; "
                   "run as an ordinary user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to run "
                   "without the sandbox.\n",
                   stderr);
        return 1;
    }

    quietlog::quietEngineReports();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvane"));
    QApplication::setOrganizationName(QStringLiteral("Halvane"));
    drawingpath::chooseForThisDisplay();

    SettingsStore settings;
    const QString application = QStringLiteral("Halvane");
    ProxyChoice::read(settings, application).apply();
    // Pages' notifications go to the desktop, or to the main window's status bar.
    DesktopNotifications notifications(QDBusConnection::sessionBus());
    // Made on the splash's first showing, where its start-up cost is hidden.
    std::unique_ptr<BrowsingProfile> profile;
    auto browsingProfile = [&] {
        if (!profile) {
            profile = std::make_unique<BrowsingProfile>(InternetOptions::keepBrowsingData(settings, application),
                                                        BrowsingProfile::userFolders());
            notifications.presentFor(profile->profile());
        }
        return profile.get();
    };
    QtDialogs dialogs;
    QtEngineDialogs engineDialogs;
    QtProgramLauncher launcher;
    Platform platform{settings,
                            ProgramFolder::ofRunningProgram(),
                            dialogs,
                            launcher,
                            [&](QWidget *parent) {
                                return new WebEngineBrowser(parent, &engineDialogs, browsingProfile()->profile());
                            },
                            &localMachineAddress};

    auto *splash = new frmSplash([&] {
        platform.browsingData = browsingProfile();
        auto *main = new frmMain(platform, nullptr, given.addresses);
        main->setAttribute(Qt::WA_DeleteOnClose);
        notifications.setTarget(main);
        QObject::connect(main, &QObject::destroyed, &notifications, [&] { notifications.setTarget(nullptr); });
        main->show();
    });
    // Starting the web engine takes the better part of a second, which the splash's
    // three seconds can hide: the main window then comes up without that wait.
    QObject::connect(splash, &frmSplash::shown, &app, browsingProfile);
    // Addresses given come from a link clicked elsewhere, where someone waits for the page:
    // the splash stays only while the engine starts.
    if (!given.addresses.isEmpty())
        QObject::connect(splash, &frmSplash::shown, splash, &frmSplash::handOverNow);
    splash->show();
    const int status = app.exec();
    // The pages' notifications leave the desktop with them.
    notifications.withdrawAll();
    // The pages of the last windows go before the profile they live in.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    profile.reset();
    // The last windows' history writes finish before the program goes.
    HistoryWriter::waitForAll();
    return status;
}
