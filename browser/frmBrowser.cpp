#include "browser/frmBrowser.h"

#include "browser/historyfile.h"
#include "platform/platform.h"
#include "platform/twips.h"
#include "platform/webbrowser.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QStringListModel>
#include <QTimer>

namespace {

constexpr int innerWidth = 6540;
constexpr int innerHeight = 5070;
constexpr int stripHeight = 675;

QTimer *timer(QObject *parent, const char *name, int intervalMs, bool enabled)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    t->setTimerType(Qt::PreciseTimer);
    if (enabled)
        t->start();
    return t;
}

template<typename W>
W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

frmBrowser::frmBrowser(QMdiArea *mdiArea, const Platform &platform)
    : Timer2(timer(this, "Timer2", 1, true))
    , Timer1(timer(this, "Timer1", 1, true))
    , timTimer(timer(this, "timTimer", 5, false))
    , picAddress(named(new QWidget(this), "picAddress"))
    , cboAddress(named(new QComboBox(picAddress), "cboAddress"))
    , ProgressBar1(named(new QProgressBar(picAddress), "ProgressBar1"))
    , lblAddress(named(new QLabel(QStringLiteral("&Address:"), picAddress), "lblAddress"))
    , brwWebBrowser(named(platform.makeBrowser(this), "brwWebBrowser"))
{
    setObjectName(QStringLiteral("frmBrowser"));
    QIcon icon(QStringLiteral(":/icons/document-32.png"));
    icon.addFile(QStringLiteral(":/icons/document-16.png"));
    setWindowIcon(icon);
    resize(sizeHint());

    twips::place(picAddress, 0, 0, innerWidth, stripHeight);
    picAddress->setFocusPolicy(Qt::NoFocus);

    cboAddress->setEditable(true);
    // The list changes only through the history file and completed navigations.
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    cboAddress->setDuplicatesEnabled(true);
    // A history of a million addresses must not be measured item by item.
    cboAddress->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboAddress->setModel(new QStringListModel(cboAddress));
    if (auto *view = qobject_cast<QListView *>(cboAddress->view()))
        view->setUniformItemSizes(true);
    twips::place(cboAddress, 120, 300, 3795, 315);

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    twips::place(ProgressBar1, 3840, 0, 2535, 255);

    lblAddress->setBuddy(cboAddress);
    twips::place(lblAddress, 45, 60, 3075, 255);

    twips::place(brwWebBrowser, 50, 1215, 5393, 3734);
    setTabOrder(brwWebBrowser, cboAddress);
    setFocusProxy(brwWebBrowser);

    // Front to back: address box, progress bar, label.
    lblAddress->lower();

    connect(cboAddress, &QComboBox::activated, this, &frmBrowser::cboAddress_Click);
    // Keys reach the box itself, which hands them on to its edit field.
    cboAddress->installEventFilter(this);

    Form_Load(mdiArea, platform);
}

QSize frmBrowser::sizeHint() const
{
    return {twips::toPixels(innerWidth), twips::toPixels(innerHeight)};
}

void frmBrowser::Form_Load(QMdiArea *mdiArea, const Platform &platform)
{
    Timer1->stop();
    Timer2->stop();

    m_subWindow = mdiArea->addSubWindow(this);
    m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_subWindow->show();

    Form_Resize();

    const QRect label = lblAddress->geometry();
    cboAddress->move(twips::toPixels(50), label.y() + label.height() + twips::toPixels(15));

    // A history that cannot be read leaves what was read so far; no message.
    auto *model = qobject_cast<QStringListModel *>(cboAddress->model());
    model->setStringList(historyfile::read(platform.folder.file(QStringLiteral("address.lst"))).entries);
    cboAddress->setCurrentIndex(-1);
}

void frmBrowser::Form_Resize()
{
    const int w = twips::fromPixels(width());
    const int h = twips::fromPixels(height());

    picAddress->setGeometry(0, 0, width(), twips::toPixels(stripHeight));

    // A size the control cannot take (negative) is skipped; it keeps its last one.
    if (w - 100 >= 0)
        cboAddress->resize(twips::toPixels(w - 100), cboAddress->height());

    QRect r = brwWebBrowser->geometry();
    r.moveTo(twips::toPixels(100), twips::toPixels(700));
    if (w - 200 >= 0)
        r.setWidth(twips::toPixels(w - 200));
    if (h - 800 >= 0)
        r.setHeight(twips::toPixels(h - 800));
    brwWebBrowser->setGeometry(r);
}

void frmBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmBrowser::cboAddress_Click()
{
    if (SuppressNavigate)
        return;
    timTimer->start();
    brwWebBrowser->Navigate(cboAddress->currentText());
}

void frmBrowser::cboAddress_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        cboAddress_Click();
}

bool frmBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cboAddress && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            cboAddress_KeyPress(13);
    }
    return QWidget::eventFilter(watched, event);
}
