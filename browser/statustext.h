#pragma once

#include <QChar>
#include <QString>

// Status texts come from pages: a hovered link's address can be megabytes long, and a
// label handed all of it lays it out and stalls the window at each hover. Every status
// text from a page is cut to this many characters before it reaches a widget; the
// middle goes, so a link keeps its host and its end.
namespace statustext {

constexpr qsizetype MaxLength = 4096;

inline QString bounded(const QString &text)
{
    if (text.size() <= MaxLength)
        return text;
    const QChar cut(0x2026); // an ellipsis
    qsizetype head = (MaxLength - 1) / 2;
    qsizetype tailFrom = text.size() - (MaxLength - 1 - head);
    // A character of two halves stays whole or goes whole.
    if (text.at(head - 1).isHighSurrogate())
        --head;
    if (text.at(tailFrom).isLowSurrogate())
        ++tailFrom;
    return text.first(head) + cut + text.sliced(tailFrom);
}

} // namespace statustext
