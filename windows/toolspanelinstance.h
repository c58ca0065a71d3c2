#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QMdiArea;
class QMdiSubWindow;
class frmtool2;
struct Measurements;

// The one tools panel of the program. Reaching it loads it when it is not loaded (a
// new panel in its initial state, at its initial place, shown in the document area);
// the user's close box unloads it.
class ToolsPanelInstance : public QObject
{
    Q_OBJECT
public:
    ToolsPanelInstance(QMdiArea *mdiArea, Measurements &measurements, QObject *parent = nullptr);

    // The panel, loaded (and so shown) first if need be.
    frmtool2 *get();
    // The panel if it is loaded, else nullptr; never loads it.
    frmtool2 *loaded() const;
    QMdiSubWindow *subWindow() const;

    // Shows the panel (loading it first if need be) and makes it the active child.
    void show();
    // Hides the panel, keeping its fields.
    void hide();

protected:
    // The document area's resizes, for keeping the panel in view.
    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    // A fresh panel was loaded and shown.
    void panelLoaded();
    // The user closed the panel.
    void panelClosed();

private:
    // Moves the panel into the area's view while it stands where it was put.
    void keepInView();

    QMdiArea *m_mdiArea;
    Measurements &m_measurements;
    QPointer<frmtool2> m_panel;
    QPointer<QMdiSubWindow> m_subWindow;
    // The panel's design place, and the place it was last given.
    QRect m_design;
    QRect m_placed;
};
