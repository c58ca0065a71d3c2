#include "windows/frmHelp.h"

#include "formats/rtfreader.h"
#include "system/quietlog.h"
#include "system/twips.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

Q_LOGGING_CATEGORY(lcHelp, "halvane.help", QtWarningMsg)

namespace {

QLabel *titleLabel(QWidget *parent)
{
    auto *l = new QLabel(QStringLiteral("Halvane"), parent);
    l->setObjectName(QStringLiteral("Label1"));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setWordWrap(true);
    QFont f = twips::designFont();
    f.setPointSizeF(13.5);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QTextEdit *richTextBox(QWidget *parent)
{
    auto *t = new QTextEdit(parent);
    t->setObjectName(QStringLiteral("RichTextBox1"));
    // Its title label lies under it, out of sight, so the box carries the name itself.
    t->setAccessibleName(QStringLiteral("Help and Info"));
    // Read-only: the text can be selected and copied; keys scroll it, with no caret shown.
    t->setReadOnly(true);
    t->setFocusPolicy(Qt::StrongFocus);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->viewport()->setBackgroundRole(QPalette::Base);
    // Lines break between words only. Breaking inside a word as well costs time that grows
    // with the square of the word's length: a long unbroken run kept the window from
    // opening for minutes. A word wider than the box scrolls sideways instead.
    t->setWordWrapMode(QTextOption::WordWrap);
    return t;
}

} // namespace

frmHelp::frmHelp(const ProgramFolder &folder)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , Label1(titleLabel(this))
    , RichTextBox1(richTextBox(this))
    , m_folder(folder)
{
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Halvane Help and Info"));
    QIcon icon;
    for (const char *name : {"help-32a.png", "help-32b.png", "help-32-mono.png"})
        icon.addFile(QStringLiteral(":/icons/") + QLatin1String(name), QSize(32, 32));
    setWindowIcon(icon);
    setFont(twips::designFont());

    // No layout: the controls keep their designed place when the window is resized.
    twips::place(Label1, 1200, 120, 3855, 375);
    twips::place(RichTextBox1, 0, 120, 6615, 5535);
    // The label never takes the focus, so the text box is the first stop.
    setFocusProxy(RichTextBox1);

    const QSize inner(twips::toPixels(6615), twips::toPixels(5715));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, inner,
                                        screen->availableGeometry()));
    else
        resize(inner);

    Form_Load();
}

void frmHelp::Form_Load()
{
    const QString path = m_folder.file(QStringLiteral("hv.hlp.rtf"));
    QTextDocument *doc = RichTextBox1->document();
    const RtfResult result = loadRtfFile(path, *doc, maxShownCharacters);
    // Which file, for whoever asks (halvane.help.info): the folder is the program's own,
    // found through any link it was started by.
    if (result.ok)
        qCInfo(lcHelp).noquote() << QStringLiteral("Help and Info shows %1").arg(path);
    // Straight into the document: the box itself would carry over the format at its
    // cursor, and the sentence would come out in whatever the old text's first word was in.
    if (!result.ok) {
        quietlog::warnOnce(lcHelp(), QStringLiteral("The help file %1 was not shown: %2.").arg(path, result.error));
        doc->setPlainText(QStringLiteral("The help file %1 could not be read: %2.").arg(path, result.error));
    } else if (result.cut) {
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        end.insertBlock(QTextBlockFormat(), QTextCharFormat());
        end.insertText(QStringLiteral("The help file %1 is too long to show whole: only its beginning is shown.")
                           .arg(path));
    }
    RichTextBox1->moveCursor(QTextCursor::Start);
}
