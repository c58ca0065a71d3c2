#pragma once

#include <QLatin1String>
#include <QString>

// Captions made of text from pages and files. Qt takes "[*]" in a window title as the
// place of a modified mark and leaves it out of the caption shown; a page titled
// "Save [*] me" would read "Save  me". Doubled, the placeholder shows as itself.
namespace windowcaption {

inline QLatin1String placeholder() { return QLatin1String("[*]"); }

// The title to give a window so that its caption shows text exactly.
inline QString literal(QString text)
{
    return text.replace(placeholder(), QLatin1String("[*][*]"));
}

// The caption a window titled title shows while it is not modified: of each run of
// placeholders half stay, an odd one out goes. For a title made by literal, the text
// it was made from.
inline QString shown(const QString &title)
{
    const QLatin1String mark = placeholder();
    QString caption;
    caption.reserve(title.size());
    qsizetype from = 0;
    for (qsizetype at = title.indexOf(mark); at >= 0; at = title.indexOf(mark, from)) {
        caption += QStringView(title).sliced(from, at - from);
        qsizetype run = 0;
        for (from = at; QStringView(title).sliced(from).startsWith(mark); from += mark.size())
            ++run;
        for (qsizetype i = 0; i < run / 2; ++i)
            caption += mark;
    }
    caption += QStringView(title).sliced(from);
    return caption;
}

} // namespace windowcaption
