#pragma once

#include <QPointer>
#include <QWebEngineView>

// The engine's developer tools for one page, in a top-level window of their own. A
// child of the page's browser control, so that it goes with its document window, but
// a window all the same. Closing it only hides it: the next time shows the same tools.
class DevToolsWindow : public QWebEngineView
{
    Q_OBJECT
public:
    DevToolsWindow(QWebEnginePage *inspected, QWidget *owner);
    ~DevToolsWindow() override;

    // On screen, in front, with the keyboard.
    void bringUp();

private:
    QPointer<QWebEnginePage> m_inspected;
};
