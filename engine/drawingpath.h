#pragma once

#include <QByteArray>

namespace drawingpath {

// Whether an OpenGL renderer's name is one that draws on the CPU (Mesa's llvmpipe,
// softpipe and swrast, SwiftShader).
bool isSoftwareRenderer(const QByteArray &rendererName);

// Where OpenGL is itself drawn on the CPU (no graphics card, a virtual or remote
// display), the page views draw with Qt Quick's software renderer: the engine's pages
// already come as pictures there, and every repaint of any control otherwise costs a
// redraw of the whole main window through emulated OpenGL. A choice made in
// QT_QUICK_BACKEND or QSG_RHI_BACKEND stands. Call after the application is made and
// before the first page view.
void chooseForThisDisplay();

} // namespace drawingpath
