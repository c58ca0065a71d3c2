#pragma once

#include "browser/measurements.h"
#include "platform/platform.h"
#include "windows/toolspanelinstance.h"

#include <QMainWindow>

class QAction;
class QMdiArea;
class QMenu;
class frmBrowser;

// The main window: the document area holding the browser document windows and the
// tools panel, with the menus whose commands act on the active document window.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the window and runs its load step (placement, Document 1, tools panel).
    explicit frmMain(const Platform &platform, QWidget *parent = nullptr);

    // Makes, numbers, shows and focuses a new document window on the home page.
    void LoadNewDoc();

    // The active child as a document window; nullptr when there is none or it is
    // another kind of child (the tools panel).
    frmBrowser *activeBrowser() const;

    QMdiArea *const mdiArea;
    QMenu *mnuFile = nullptr;
    QAction *mnuFileNew = nullptr;
    QAction *mnuFileBar3 = nullptr;
    QAction *mnuFileExit = nullptr;
    QMenu *mnuWindow = nullptr;
    QAction *mnuWindowNewWindow = nullptr;

    qint32 DocumentCount = 0;
    bool ToolsVisible = false;
    Measurements measurements;
    ToolsPanelInstance toolsPanel;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void MDIForm_Load();
    void MDIForm_Unload();
    void ShowToolsPanel();
    void mnuFileNew_Click();
    void mnuFileExit_Click();
    void mnuWindowNewWindow_Click();
    void updateWindowList();

    Platform m_platform;
};
