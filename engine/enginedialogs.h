#pragma once

#include <QString>

class PageDialog;

// What the engine leaves to its host to ask the user: where to save a download,
// credentials for a site, whether to go on despite a bad certificate, whether a page
// may use a device or feature, whether another program may open an address, and the
// page's own alert/confirm/prompt. Every text that comes from a page or a server is
// shown as plain text. The program asks through real dialogs that hold only the asking
// page; tests answer through a scripted double. A question ended by dialog.cancel()
// answers as if the user cancelled it.
class EngineDialogs
{
public:
    virtual ~EngineDialogs() = default;

    // Where to save a download; suggestedPath is the download folder and the server's
    // file name. Empty when the user cancelled.
    virtual QString saveFileName(PageDialog &dialog, const QString &suggestedPath) = 0;
    // A user name and password for the site's realm; false when cancelled.
    virtual bool credentials(PageDialog &dialog, const QString &site, const QString &realm,
                             QString *user, QString *password) = 0;
    // True only when the user chose to go on to the host despite the error.
    virtual bool acceptCertificateError(PageDialog &dialog, const QString &host,
                                        const QString &error) = 0;
    // True only when the user allowed the site what it asks for (a readable name).
    virtual bool grantPermission(PageDialog &dialog, const QString &site, const QString &what) = 0;
    // True only when the user let another program open the address (a link to a
    // scheme this browser does not load itself).
    virtual bool openExternally(PageDialog &dialog, const QString &address) = 0;

    // The page's script dialogs; title is the page's host.
    virtual void alert(PageDialog &dialog, const QString &title, const QString &text) = 0;
    virtual bool confirm(PageDialog &dialog, const QString &title, const QString &text) = 0;
    // False when cancelled; *result is the text entered otherwise.
    virtual bool prompt(PageDialog &dialog, const QString &title, const QString &text,
                        const QString &defaultValue, QString *result) = 0;
};
