#pragma once

#include <QMargins>
#include <QRect>
#include <QString>
#include <optional>

class QWidget;
class SettingsStore;

// The main window's placement, kept in twips as its outer bounds: read and given to the
// window before it shows, corrected once the window manager tells the frame around it,
// and stored when the window goes.
class WindowPlacement
{
public:
    // The placement of window, kept in the settings under appName and section.
    WindowPlacement(QWidget &window, SettingsStore &settings, const QString &appName, const QString &section);

    // Reads the stored placement and gives it to the window, created and not yet shown.
    void apply();
    // After each move or resize the window has been told of: where the frame has become
    // known since apply(), the window goes inside it.
    void correct();
    // F11: the whole window on the screen, and back to the state it left.
    void toggleFullScreen();
    // Stores where the window is; nothing while it is minimized.
    void store() const;

private:
    QWidget &m_window;
    SettingsStore &m_settings;
    const QString m_appName;
    const QString m_section;
    // The stored outer placement while the window manager has not yet told the frame
    // around it, and how many more corrections it may take.
    std::optional<QRect> m_outerAwaitingFrame;
    int m_frameCorrections = 0;
    // The frame the window had before it went full screen, where it has none.
    QMargins m_frameBeforeFullScreen;
};
