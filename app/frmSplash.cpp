#include "app/frmSplash.h"

#include "app/startuptrace.h"
#include "system/twips.h"

#include <QLabel>
#include <QScreen>
#include <QTimer>

frmSplash::frmSplash(std::function<void()> showMain)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
    , Timer1(new QTimer(this))
    , Image1(new QLabel(this))
    , m_showMain(std::move(showMain))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The one-pixel strip under the picture shows the button-face colour.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(twips::toPixels(6495), twips::toPixels(3630));

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/splash.png")));
    Image1->setScaledContents(true);
    twips::place(Image1, 0, 0, 6495, 3615);

    if (const QScreen *screen = this->screen()) {
        QRect r = rect();
        r.moveCenter(screen->geometry().center());
        move(r.topLeft());
    }

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    // Three seconds, not the 5 % either way a coarse timer allows.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    Timer1->start();
}

void frmSplash::Timer1_Timer()
{
    // Hands over once: closing the splash ends its timer.
    Timer1->stop();
    m_showMain();
    close();
}

void frmSplash::handOverNow()
{
    if (Timer1->isActive())
        Timer1_Timer();
}

void frmSplash::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_painted) {
        m_painted = true;
        traceStartup("splash shown");
        // After this paint has reached the screen.
        QMetaObject::invokeMethod(this, &frmSplash::shown, Qt::QueuedConnection);
    }
}
