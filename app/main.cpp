#include "app/commandline.h"
#include "app/frmMain.h"
#include "app/frmSplash.h"
#include "app/startup.h"
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
#include "system/singleinstance.h"
#include "system/visithistory.h"
#include "system/windowactivation.h"
#include "windows/internetoptions.h"

#include <QApplication>
#include <optional>

namespace {

// The pages this session visits, beside the profile's data; off the record no file is made.
VisitHistory &openVisits(std::optional<VisitHistory> &visits, const BrowsingProfile &profile,
                         const SettingsStore &settings, const QString &application)
{
    return visits.emplace(BrowsingProfile::userFolders().data, profile.kept(),
                          InternetOptions::keepVisitsDays(settings, application));
}

} // namespace

int main(int argc, char *argv[])
{
    // Help, the version and a bad option end here, before the engine or a display is needed.
    const commandline::Outcome given = commandline::readAndReport(argc, argv);
    if (given.exit)
        return given.exitStatus;

    if (!startup::mayRunTheEngine())
        return 1;
    // Read before the application object, whose display plugin takes it for our own first window.
    const QByteArray activationToken = windowactivation::tokenFromEnvironment();

    quietlog::quietEngineReports();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvane"));
    QApplication::setOrganizationName(QStringLiteral("Halvane"));
    // One Halvane per profile: a later start hands its addresses over and ends here, before
    // a splash or the engine.
    SingleInstance instance(BrowsingProfile::userFolders().data);
    if (const std::optional<int> ended = startup::handOver(instance, given.addresses, activationToken))
        return *ended;
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
    auto pageControl = [&](QWidget *parent) {
        return new WebEngineBrowser(parent, &engineDialogs, browsingProfile()->profile());
    };
    Platform platform{settings, ProgramFolder::ofRunningProgram(), dialogs, launcher, pageControl, &localMachineAddress};
    std::optional<VisitHistory> visits;

    auto *splash = new frmSplash([&] {
        platform.browsingData = browsingProfile();
        platform.visits = &openVisits(visits, *profile, settings, application);
        auto *main = new frmMain(platform, nullptr, given.addresses);
        main->setAttribute(Qt::WA_DeleteOnClose);
        notifications.setTarget(main);
        QObject::connect(main, &QObject::destroyed, &notifications, [&] {
            notifications.setTarget(nullptr);
            instance.stop();
        });
        main->show();
        // What later starts handed over while the splash showed opens now, in order.
        instance.deliverTo([main](const handover::Message &m) { main->openHandedOver(m.addresses, m.activationToken); });
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
