#pragma once

// The code pages of the text bytes in an RTF file, and Qt's names for them.
namespace rtf {

// Qt's name for a code page the reader can decode; null for any other.
const char *codecName(int codePage);

// A font's \fcharset names the code page its \'hh bytes are in; 0 means the document's.
int codePageOfCharset(int charset);

} // namespace rtf
