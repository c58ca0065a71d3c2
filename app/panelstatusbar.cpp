#include "app/panelstatusbar.h"

#include "platform/twips.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QTimer>

PanelStatusBar::PanelStatusBar(QWidget *parent)
    : QStatusBar(parent)
    , m_clock(new QTimer(this))
{
    setSizeGripEnabled(false);
    setMinimumHeight(twips::toPixels(390));
    for (int i = 0; i < 3; ++i) {
        auto *l = new QLabel(this);
        // Pages write the text panel: their texts are never markup.
        l->setTextFormat(Qt::PlainText);
        l->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setMinimumWidth(twips::toPixels(1440));
        m_panels[i] = l;
    }
    // Only the text panel grows; long text must not widen the window.
    m_panels[0]->setMinimumWidth(twips::toPixels(1440));
    m_panels[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_panels[0]->setText(QStringLiteral("Status"));
    addWidget(m_panels[0], 1);
    addPermanentWidget(m_panels[1], 0);
    addPermanentWidget(m_panels[2], 0);

    m_clock->setSingleShot(true);
    m_clock->setTimerType(Qt::PreciseTimer);
    connect(m_clock, &QTimer::timeout, this, &PanelStatusBar::refreshClock);
    refreshClock();
}

void PanelStatusBar::addMark(const QString &objectName, const QString &text, const QString &why)
{
    auto *mark = new QLabel(text, this);
    mark->setObjectName(objectName);
    mark->setToolTip(why);
    mark->setAccessibleName(why);
    mark->setFrameShape(QFrame::Panel);
    mark->setFrameShadow(QFrame::Sunken);
    insertPermanentWidget(1, mark);
}

void PanelStatusBar::refreshClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    m_panels[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_panels[2]->setText(locale.toString(now.time(), QLocale::ShortFormat));

    // Woken when what is shown changes: at the next minute (the date changes on one
    // too), or the next second where the time is shown with its seconds.
    const bool seconds = locale.timeFormat(QLocale::ShortFormat).contains(QLatin1Char('s'));
    const int period = seconds ? 1000 : 60'000;
    const int intoPeriod = int(now.time().msecsSinceStartOfDay() % period);
    m_clock->start(period - intoPeriod);
}
