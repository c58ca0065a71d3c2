#pragma once

#include "platform/programfolder.h"

#include <QString>
#include <functional>

class QWidget;
class SettingsStore;
class WebBrowser;

// Message boxes, behind a seam so window tests can answer them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A message with an OK button and no icon.
    virtual void message(QWidget *parent, const QString &title, const QString &text) = 0;
};

// The hosted components and files the windows work with: the real ones in the program,
// scripted ones and temporary folders in tests.
struct Platform
{
    SettingsStore &settings;
    ProgramFolder folder;
    Dialogs &dialogs;
    std::function<WebBrowser *(QWidget *parent)> makeBrowser;
};
