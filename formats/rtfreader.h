#pragma once

#include <QString>

#include <limits>

class QByteArray;
class QTextDocument;

// What a load came to: ok, or one short clause saying why not ("it is empty").
struct RtfResult
{
    bool ok = false;
    QString error;
    bool cut = false; // the text went on past maxCharacters; the rest was left out
};

// Reads Rich Text Format into doc, replacing what it held. Damaged input is read as far
// as it makes sense (an unclosed group ends with the data, text after the document's last
// brace is ignored); it still counts as ok. Input that is not RTF at all is refused and
// leaves doc as it was. Time and memory grow linearly with the input, whatever it holds.
// Reading stops once doc holds maxCharacters characters (paragraph ends count as one), and
// doc keeps that many (one fewer where the last would split a surrogate pair).
RtfResult loadRtf(const QByteArray &rtf, QTextDocument &doc,
                  qsizetype maxCharacters = std::numeric_limits<qsizetype>::max());

// The same for a file. A missing file, a folder, a file that cannot be opened, an empty
// or oversized file or one that is not RTF is refused, and error says which.
RtfResult loadRtfFile(const QString &path, QTextDocument &doc,
                      qsizetype maxCharacters = std::numeric_limits<qsizetype>::max());
