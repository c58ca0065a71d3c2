#include "engine/drawingpath.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>

namespace drawingpath {

bool isSoftwareRenderer(const QByteArray &rendererName)
{
    const QByteArray name = rendererName.toLower();
    for (const char *software : {"llvmpipe", "softpipe", "software rasterizer", "swrast", "swiftshader"}) {
        if (name.contains(software))
            return true;
    }
    return false;
}

namespace {

// The renderer of the context the engine will share; empty where there is none.
QByteArray sharedContextRenderer()
{
    QOpenGLContext *shared = QOpenGLContext::globalShareContext();
    if (!shared || !shared->isValid())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(shared->format());
    surface.create();
    if (!surface.isValid() || !shared->makeCurrent(&surface))
        return {};
    const auto *name = reinterpret_cast<const char *>(shared->functions()->glGetString(GL_RENDERER));
    QByteArray renderer(name ? name : "");
    shared->doneCurrent();
    return renderer;
}

} // namespace

void chooseForThisDisplay()
{
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return;
    if (isSoftwareRenderer(sharedContextRenderer()))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace drawingpath
