#include "browser/typedaddress.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>

TypedAddress::TypedAddress(QComboBox *box)
    : QObject(box)
    , m_box(box)
{
    // Only the user's edits: text set from code says nothing.
    connect(box->lineEdit(), &QLineEdit::textEdited, this, [this] { m_typed = true; });
}

bool TypedAddress::isBeingTyped() const
{
    if (!m_typed || m_box->currentText().isEmpty())
        return false;
    // The suggestions under the box hand the keys on to it, but may hold the focus.
    const QCompleter *suggestions = m_box->completer();
    return m_box->hasFocus() || m_box->lineEdit()->hasFocus()
           || (suggestions && suggestions->popup()->isVisible());
}

TypedAddress::State TypedAddress::state() const
{
    const QLineEdit *edit = m_box->lineEdit();
    return {edit->text(), edit->cursorPosition(), edit->selectionStart(), int(edit->selectedText().size())};
}

void TypedAddress::restore(const State &state)
{
    QLineEdit *edit = m_box->lineEdit();
    if (edit->text() == state.text)
        return;
    edit->setText(state.text);
    if (state.selectionStart < 0) {
        edit->setCursorPosition(state.cursor);
        return;
    }
    // A selection made leftwards has the cursor at its start.
    if (state.cursor == state.selectionStart)
        edit->setSelection(state.selectionStart + state.selectionLength, -state.selectionLength);
    else
        edit->setSelection(state.selectionStart, state.selectionLength);
}
