#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QTimer;
class WebBrowser;
struct Platform;

// A browser document window: an address strip (label, address box, progress bar) over
// the hosted browser control. A child of the main window's document area.
class frmBrowser : public QWidget
{
    Q_OBJECT
public:
    // Creates the window in the document area and runs its load sequence.
    frmBrowser(QMdiArea *mdiArea, const Platform &platform);

    QMdiSubWindow *subWindow() const { return m_subWindow; }

    // Navigates to the address box's text unless SuppressNavigate is set.
    void cboAddress_Click();
    // Enter (13) in the address box navigates; the key goes on unchanged.
    void cboAddress_KeyPress(int keyAscii);

    QTimer *const Timer2;
    QTimer *const Timer1;
    QTimer *const timTimer;
    QWidget *const picAddress;
    QComboBox *const cboAddress;
    QProgressBar *const ProgressBar1;
    QLabel *const lblAddress;
    WebBrowser *const brwWebBrowser;

    bool SuppressNavigate = false;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QSize sizeHint() const override;

private:
    void Form_Load(QMdiArea *mdiArea, const Platform &platform);
    void Form_Resize();

    QMdiSubWindow *m_subWindow = nullptr;
};
