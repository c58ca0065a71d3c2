#pragma once

// A window's handlers are its own (private): a benchmark that switches one off and on
// again, or puts its clock ahead of one, reaches it through the window's meta-object,
// where Qt keeps its slots by their signatures.

#include <QByteArray>
#include <QMetaMethod>
#include <QObject>
#include <cstdio>

namespace windowhandlers {

inline QMetaMethod method(const QObject *object, const char *signature, bool signal)
{
    const QMetaObject *meta = object->metaObject();
    const QByteArray normal = QMetaObject::normalizedSignature(signature);
    const int index = signal ? meta->indexOfSignal(normal.constData()) : meta->indexOfSlot(normal.constData());
    if (index < 0) {
        std::fprintf(stderr, "%s has no %s %s\n", meta->className(), signal ? "signal" : "slot", signature);
        return {};
    }
    return meta->method(index);
}

// Connects the sender's signal to the window's handler, after what is connected already.
inline bool connect(QObject *sender, const char *signal, QObject *window, const char *handler)
{
    return bool(QObject::connect(sender, method(sender, signal, true), window, method(window, handler, false)));
}

// Disconnects the sender's signal from the window: whatever the window does on it, its
// handler included however that was connected.
inline bool disconnect(QObject *sender, const char *signal, QObject *window)
{
    return QObject::disconnect(sender, method(sender, signal, true), window, QMetaMethod());
}

} // namespace windowhandlers
