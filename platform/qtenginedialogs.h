#pragma once

#include "platform/enginedialogs.h"

// The engine's questions as the program's dialogs.
class QtEngineDialogs : public EngineDialogs
{
public:
    QString saveFileName(QWidget *parent, const QString &suggestedPath) override;
    bool credentials(QWidget *parent, const QString &site, const QString &realm, QString *user,
                     QString *password) override;
    bool acceptCertificateError(QWidget *parent, const QString &host, const QString &error) override;
    bool grantPermission(QWidget *parent, const QString &site, const QString &what) override;
    bool openExternally(QWidget *parent, const QString &address) override;
    void alert(QWidget *parent, const QString &title, const QString &text) override;
    bool confirm(QWidget *parent, const QString &title, const QString &text) override;
    bool prompt(QWidget *parent, const QString &title, const QString &text,
                const QString &defaultValue, QString *result) override;
};
