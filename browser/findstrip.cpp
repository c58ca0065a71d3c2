#include "browser/findstrip.h"

#include "engine/webbrowser.h"
#include "shared/named.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

QToolButton *button(const char *name, const QString &text, const QString &accessibleName)
{
    auto *b = named(new QToolButton, name);
    b->setText(text);
    b->setToolTip(accessibleName);
    b->setAccessibleName(accessibleName);
    b->setAutoRaise(true);
    return b;
}

// A search text that long is no one's typing; the page is not asked to scan for it.
constexpr int fieldLength = 1000;

} // namespace

FindStrip::FindStrip(WebBrowser *browser, QWidget *parent)
    : QWidget(parent)
    , field(named(new QLineEdit, "txtFind"))
    , previousButton(button("cmdFindPrevious", QStringLiteral("\u25b2"), QStringLiteral("Previous match")))
    , nextButton(button("cmdFindNext", QStringLiteral("\u25bc"), QStringLiteral("Next match")))
    , matchCase(named(new QCheckBox(QStringLiteral("Match &case")), "chkMatchCase"))
    , count(named(new QLabel, "lblFindCount"))
    , closeButton(button("cmdFindClose", QStringLiteral("\u00d7"), QStringLiteral("Close find")))
    , m_browser(browser)
{
    setObjectName(QStringLiteral("findStrip"));
    setAutoFillBackground(true);
    auto *label = new QLabel(QStringLiteral("&Find:"));
    label->setBuddy(field);
    field->setMaxLength(fieldLength);
    field->setAccessibleName(QStringLiteral("Find in page"));
    field->setClearButtonEnabled(true);
    count->setAccessibleName(QStringLiteral("Matches"));
    count->setMinimumWidth(count->fontMetrics().horizontalAdvance(QStringLiteral("9999 of 9999")));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    layout->addWidget(label);
    layout->addWidget(field, 1);
    layout->addWidget(previousButton);
    layout->addWidget(nextButton);
    layout->addWidget(matchCase);
    layout->addWidget(count);
    layout->addWidget(closeButton);

    connect(field, &QLineEdit::textEdited, this, &FindStrip::searchAgain);
    connect(matchCase, &QCheckBox::toggled, this, &FindStrip::matchCaseChanged);
    connect(previousButton, &QToolButton::clicked, this, [this] { find(true); });
    connect(nextButton, &QToolButton::clicked, this, [this] { find(false); });
    connect(closeButton, &QToolButton::clicked, this, &FindStrip::dismiss);
    connect(m_browser, &WebBrowser::FindTextFinished, this, &FindStrip::showResult);
    field->installEventFilter(this);
    hide();
}

void FindStrip::open()
{
    const bool wasHidden = isHidden();
    show();
    raise();
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
    if (wasHidden) {
        Q_EMIT visibilityChanged();
        // Back after Esc (which ended the search): the matches are highlighted again.
        if (!field->text().isEmpty())
            searchAgain();
    }
}

void FindStrip::find(bool backward)
{
    if (field->text().isEmpty())
        return;
    m_browser->FindText(field->text(), backward, matchCase->isChecked());
}

void FindStrip::dismiss()
{
    if (isHidden())
        return;
    hide();
    count->clear();
    m_browser->FindText(QString(), false, false);
    m_browser->setFocus(Qt::OtherFocusReason);
    Q_EMIT visibilityChanged();
}

void FindStrip::searchAgain()
{
    count->clear();
    if (field->text().isEmpty())
        m_browser->FindText(QString(), false, false);
    else
        find(false);
}

void FindStrip::matchCaseChanged()
{
    // The engine takes the same text again as a move to the next match, even with the
    // case changed: the old search goes first.
    m_browser->FindText(QString(), false, false);
    searchAgain();
}

void FindStrip::showResult(int activeMatch, int matchCount)
{
    // An answer coming after the field was emptied or the strip closed says nothing.
    if (field->text().isEmpty() || isHidden()) {
        count->clear();
        return;
    }
    if (matchCount <= 0)
        count->setText(QStringLiteral("No matches"));
    else
        count->setText(QStringLiteral("%1 of %2").arg(activeMatch).arg(matchCount));
}

bool FindStrip::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched != field || (type != QEvent::KeyPress && type != QEvent::ShortcutOverride))
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool escape = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
    if (!enter && !escape)
        return QWidget::eventFilter(watched, event);
    // Esc and Enter are the field's own here, before any window-wide key takes them.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (escape)
        dismiss();
    else
        find(key->modifiers().testFlag(Qt::ShiftModifier));
    return true;
}
