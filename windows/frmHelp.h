#pragma once

#include "system/programfolder.h"

#include <QWidget>

class QLabel;
class QTextEdit;

// The help-and-info viewer: a top-level window that shows the help file beside the
// program. It reads the file once, when it is made; closing it deletes it, so the next
// opening reads the file afresh.
class frmHelp : public QWidget
{
    Q_OBJECT
public:
    explicit frmHelp(const ProgramFolder &folder);

    // The most of the help file the viewer shows (some thirty pages); a longer one is cut
    // there, with a note after it. Reading and laying out a file of short paragraphs four
    // times this size already kept the window from opening for a second or two.
    static constexpr qsizetype maxShownCharacters = qsizetype(1) << 16;

    // Loads the help file into RichTextBox1, replacing what it held. A file that cannot
    // be read leaves one sentence there saying so and why.
    void Form_Load();

    // Made in this order so that the text box lies in front of the label, which it covers.
    QLabel *const Label1;
    QTextEdit *const RichTextBox1;

private:
    const ProgramFolder m_folder;
};
