#include "app/panelstatusbar.h"

#include "system/twips.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QTimer>

namespace {

// The text panel: a text longer than the panel is wide shows its start and its end, the
// middle elided (a link's host and the page it leads to). It keeps the whole text, which
// is what a screen reader says.
class TextPanel : public QLabel
{
public:
    explicit TextPanel(PanelStatusBar *bar)
        : QLabel(bar)
        , m_bar(bar)
    {
    }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            Q_EMIT m_bar->textPanelClicked(text());
    }

    void paintEvent(QPaintEvent *event) override
    {
        const QRect room = contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin()));
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
        if (shown == text()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        drawFrame(&painter);
        style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }

private:
    PanelStatusBar *m_bar;
};

} // namespace

PanelStatusBar::PanelStatusBar(QWidget *parent)
    : QStatusBar(parent)
    , m_clock(new QTimer(this))
{
    setSizeGripEnabled(false);
    setMinimumHeight(twips::toPixels(390));
    for (int i = 0; i < 3; ++i) {
        auto *l = i == 0 ? new TextPanel(this) : new QLabel(this);
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

QString PanelStatusBar::timeText(QTime time, const QLocale &locale)
{
    // The locale's short time without its seconds, which only the C locale's has: a
    // status bar is read at a glance, and a ticking second would wake the program and
    // repaint its window every second for good.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[^A-Za-z'\\s]?s+"));
    format.remove(seconds);
    return locale.toString(time, format);
}

void PanelStatusBar::refreshClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    m_panels[1]->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_panels[2]->setText(timeText(now.time(), locale));
    // Woken when what is shown changes: at the next minute (the date changes on one too).
    constexpr int minute = 60'000;
    m_clock->start(minute - now.time().msecsSinceStartOfDay() % minute);
}
