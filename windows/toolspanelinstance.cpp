#include "windows/toolspanelinstance.h"

#include "shared/childplacement.h"
#include "windows/frmtool2.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

ToolsPanelInstance::ToolsPanelInstance(QMdiArea *mdiArea, Measurements &measurements,
                                       QObject *parent)
    : QObject(parent)
    , m_mdiArea(mdiArea)
    , m_measurements(measurements)
{
    m_mdiArea->viewport()->installEventFilter(this);
}

frmtool2 *ToolsPanelInstance::get()
{
    if (m_panel)
        return m_panel;

    auto *panel = new frmtool2(m_measurements);
    // A tool window: thin caption bar with a close button only, no icon. The style draws
    // the close button only for windows with a system menu.
    auto *sub = m_mdiArea->addSubWindow(panel, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    QPixmap noIcon(16, 16);
    noIcon.fill(Qt::transparent);
    sub->setWindowIcon(QIcon(noIcon));
    connect(sub, &QObject::destroyed, this, &ToolsPanelInstance::panelClosed);
    m_panel = panel;
    m_subWindow = sub;
    panel->Form_Load();
    // The design place holds wherever it fits; where the area shows too little of it (a
    // small window, a high-density screen), the panel starts in view.
    m_design = m_placed = sub->geometry();
    keepInView();
    sub->show();
    Q_EMIT panelLoaded();
    return panel;
}

frmtool2 *ToolsPanelInstance::loaded() const
{
    return m_panel;
}

QMdiSubWindow *ToolsPanelInstance::subWindow() const
{
    return m_subWindow;
}

void ToolsPanelInstance::show()
{
    get();
    m_subWindow->show();
    m_mdiArea->setActiveSubWindow(m_subWindow);
}

void ToolsPanelInstance::hide()
{
    if (m_subWindow)
        m_subWindow->hide();
}

bool ToolsPanelInstance::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == m_mdiArea->viewport())
        keepInView();
    return QObject::eventFilter(watched, event);
}

void ToolsPanelInstance::keepInView()
{
    // Moved or sized by the user, it stays where they put it. Until then it follows the
    // area, back to its design place once that is in view (the window maximized).
    if (!m_subWindow || m_subWindow->geometry() != m_placed)
        return;
    m_placed = childplacement::inView(m_design, m_mdiArea->viewport()->rect());
    m_subWindow->setGeometry(m_placed);
}
