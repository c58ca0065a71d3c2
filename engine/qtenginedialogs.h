#pragma once

#include "engine/enginedialogs.h"
#include "engine/pagedialog.h"

// The engine's questions as the program's dialogs.
class QtEngineDialogs : public EngineDialogs
{
public:
    QString saveFileName(PageDialog &dialog, const QString &suggestedPath) override;
    bool credentials(PageDialog &dialog, const QString &site, const QString &realm, QString *user,
                     QString *password) override;
    bool acceptCertificateError(PageDialog &dialog, const QString &host, const QString &error) override;
    bool grantPermission(PageDialog &dialog, const QString &site, const QString &what) override;
    bool openExternally(PageDialog &dialog, const QString &address) override;
    void alert(PageDialog &dialog, const QString &title, const QString &text) override;
    bool confirm(PageDialog &dialog, const QString &title, const QString &text) override;
    bool prompt(PageDialog &dialog, const QString &title, const QString &text,
                const QString &defaultValue, QString *result) override;
};
