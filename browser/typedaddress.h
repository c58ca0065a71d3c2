#pragma once

#include <QObject>

class QComboBox;

// What the user is typing into the address box, kept from the page's own moves. A page
// that reloads itself completes a navigation many times a second, and each would put
// its address back over what the user types, so that it could never be visited.
class TypedAddress : public QObject
{
    Q_OBJECT
public:
    explicit TypedAddress(QComboBox *box);

    // The box has the keyboard and holds text the user typed since it last took an
    // address from the program.
    bool isBeingTyped() const;
    // The box takes an address from the program, or the user visits what it holds:
    // its text is no longer being typed.
    void reset() { m_typed = false; }

    // Runs change, which may change the box's list, with the box's text, cursor and
    // selection as they were before it.
    template<typename Change>
    void keepAcross(Change &&change)
    {
        const State before = state();
        change();
        restore(before);
    }

private:
    struct State
    {
        QString text;
        int cursor = 0;
        int selectionStart = -1;
        int selectionLength = 0;
    };
    State state() const;
    void restore(const State &state);

    QComboBox *const m_box;
    bool m_typed = false;
};
