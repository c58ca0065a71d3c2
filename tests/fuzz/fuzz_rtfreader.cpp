// libFuzzer entry for the RTF reader: any bytes, no crash, no hang, no sanitizer report.
#include "formats/rtfreader.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Laying a document out needs fonts, and so a GUI application; none needs a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QTextDocument doc;
    const RtfResult result = loadRtf(bytes, doc);
    if (result.ok == !result.error.isEmpty())
        __builtin_trap(); // a result is either ok or says why not
    if (result.ok) {
        // What the viewer does next: lay the document out at the box's width.
        doc.setTextWidth(437);
        (void)doc.size();
    }
    return 0;
}
