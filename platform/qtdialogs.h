#pragma once

#include "platform/platform.h"

// The dialogs as the user sees them.
class QtDialogs : public Dialogs
{
public:
    void message(QWidget *parent, const QString &title, const QString &text) override;
};
