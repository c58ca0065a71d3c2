#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

class WebBrowser;

// A page that went full screen: its browser control alone on the screen, in a window
// of its own, until the page leaves or the user presses Esc or F11. The document
// window keeps its place meanwhile and gets the control back.
class FullScreenPage : public QWidget
{
    Q_OBJECT
public:
    // Takes browser from its window; owner is the window it goes back to, and this
    // window's parent.
    FullScreenPage(WebBrowser *browser, QWidget *owner);

    // Puts the control back in its window where it was, shown and focused.
    void giveBack();

protected:
    // Closing the window (the manager's close) ends the page's full screen.
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<WebBrowser> m_browser;
    QRect m_place;
};
