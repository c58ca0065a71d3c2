#pragma once

#include <QString>

class QWidget;

// What the engine leaves to its host to ask the user: where to save a download,
// credentials for a site, whether to go on despite a bad certificate, whether a page
// may use a device or feature, whether another program may open an address, and the
// page's own alert/confirm/prompt. The program
// asks through real dialogs; tests answer through a scripted double.
class EngineDialogs
{
public:
    virtual ~EngineDialogs() = default;

    // Where to save a download; suggestedPath is the download folder and the server's
    // file name. Empty when the user cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &suggestedPath) = 0;
    // A user name and password for the site's realm; false when cancelled.
    virtual bool credentials(QWidget *parent, const QString &site, const QString &realm,
                             QString *user, QString *password) = 0;
    // True only when the user chose to go on to the host despite the error.
    virtual bool acceptCertificateError(QWidget *parent, const QString &host,
                                        const QString &error) = 0;
    // True only when the user allowed the site what it asks for (a readable name).
    virtual bool grantPermission(QWidget *parent, const QString &site, const QString &what) = 0;
    // True only when the user let another program open the address (a link to a
    // scheme this browser does not load itself).
    virtual bool openExternally(QWidget *parent, const QString &address) = 0;

    // The page's script dialogs; title is the page's host.
    virtual void alert(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual bool confirm(QWidget *parent, const QString &title, const QString &text) = 0;
    // False when cancelled; *result is the text entered otherwise.
    virtual bool prompt(QWidget *parent, const QString &title, const QString &text,
                        const QString &defaultValue, QString *result) = 0;
};
