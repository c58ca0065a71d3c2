#pragma once

#include "browser/addresslist.h"
#include "browser/historywriter.h"
#include "browser/linkping.h"
#include "browser/loadclock.h"

#include <QWidget>

class BrowserHost;
class FindStrip;
class FullScreenPage;
class PingSocket;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QTimer;
class VisitHistory;
class WebBrowser;
struct Platform;

// A browser document window: an address strip (label, address box, progress bar) over
// the hosted browser control. A child of the main window's document area. It follows
// its page through the control's events; its handlers hand the measuring to the link
// ping and the load clock, and the address list's upkeep to the list.
class frmBrowser : public QWidget
{
    Q_OBJECT
public:
    // Creates the window in the document area and runs its load sequence.
    frmBrowser(QMdiArea *mdiArea, const Platform &platform, BrowserHost &host);

    QMdiSubWindow *subWindow() const { return m_subWindow; }

    // Empties the address list, the typed text aside: the history was deleted.
    void forgetListedAddresses();

    // Find in page. The strip is made when first asked for; nullptr until then.
    FindStrip *findStrip() const { return m_findStrip; }
    void showFindStrip();
    // The keyboard to the address box, its text selected to type over.
    void focusAddress();
    // F3 and Shift+F3: the next or previous match; the strip opens when it has nothing
    // to find yet.
    void findNext();
    void findPrevious();

    // Zoom by whole steps (larger when positive) or back to 100 %; the level is kept
    // for the page's host and said in the status bar.
    void zoomBy(int steps);
    void zoomReset();
    int zoomPercent() const { return m_zoomPercent; }

    // The page alone on the screen while it is full screen; nullptr otherwise.
    FullScreenPage *fullScreenPage() const { return m_fullScreenPage; }

    // The caption reads "Working..." while the page is busy after a command, then the
    // page's name: checked a moment after the command, then as the page's load ends.
    void startBusyCheck();

    PingSocket *const Socket1;
    QTimer *const Timer2;
    QTimer *const Timer1;
    QTimer *const timTimer;
    QWidget *const picAddress;
    QComboBox *const cboAddress;
    QProgressBar *const ProgressBar1;
    QLabel *const lblAddress;
    WebBrowser *const brwWebBrowser;

    bool SuppressNavigate = false;

    // The most addresses the address box lists from the history file: its last ones.
    static constexpr qsizetype ListedAddresses = 1'000'000;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QSize sizeHint() const override;

private Q_SLOTS:
    // Navigates to the address box's text unless SuppressNavigate is set. A text longer
    // than the history keeps is not visited; the status line says so.
    void cboAddress_Click();
    // Enter (13) in the address box navigates; the key goes on unchanged.
    void cboAddress_KeyPress(int keyAscii);
    void brwWebBrowser_StatusTextChange(const QString &text);
    void brwWebBrowser_ProgressChange(int progress, int progressMax);
    void brwWebBrowser_DownloadBegin();
    void brwWebBrowser_DownloadComplete();
    void brwWebBrowser_TitleChange(const QString &text);
    void brwWebBrowser_BeforeNavigate2(const QString &url);
    void brwWebBrowser_NavigateComplete2(const QString &url);
    void brwWebBrowser_FullScreenChange(bool fullScreen);
    void timTimer_Timer();
    void Timer1_Timer();
    void Timer2_Timer();
    void Socket1_Connect();
    void Socket1_Read(int dataLength, bool isUrgent);

private:
    void placeControls();
    void connectEvents();
    void Form_Load(QMdiArea *mdiArea);
    void Form_Resize();
    // Sets the list index from code: the box takes the entry's text and raises its click.
    void setListIndex(int index);
    void setZoom(int percent);
    // The page shown at percent; the level kept for its host is left as it is.
    void showAtZoom(int percent);
    void findAgain(bool backward);

    BrowserHost &m_host;
    VisitHistory *const m_visits;
    QString m_historyPath;
    HistoryWriter m_history;
    LinkPing m_linkPing;
    LoadClock m_loadClock;
    AddressList m_addresses;
    QMdiSubWindow *m_subWindow = nullptr;
    FindStrip *m_findStrip = nullptr;
    FullScreenPage *m_fullScreenPage = nullptr;
    int m_zoomPercent = 100;
};
