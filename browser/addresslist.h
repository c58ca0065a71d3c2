#pragma once

#include <QString>

class QComboBox;
class QStringListModel;
class TypedAddress;

// The address box's list: the history file's last addresses when the window loads, then
// each completed navigation's address moved or put on top, while what the user is
// typing stays in the box. The window's handlers decide when; this keeps the box.
class AddressList
{
public:
    // Sets box up: editable far past any address kept, its list changed only from here,
    // matching addresses suggested in a pop-up.
    explicit AddressList(QComboBox *box);

    // Too long to visit or keep: the file would drop it on reading.
    static bool tooLong(const QString &address);
    // A user name and password in an address are never listed or kept: the file is on
    // disk for good, and windows show the list to whoever looks.
    static QString withoutUserInfo(const QString &location);

    // Lists the last count addresses of the history file at path, none selected.
    void load(const QString &path, qsizetype count);
    // Empties the list, the typed text aside.
    void forget();

    // Enter in the suggestions under the box: the one the user moved to becomes the box's
    // text (otherwise the text stays as typed), and the list goes.
    void takeSuggestion();

    bool isBeingTyped() const;
    // The box takes an address from the program, or the user visits what it holds.
    void typingDone();

    // Moves location to the top of the list, or puts it there; the box's text, cursor
    // and selection stay as they were.
    void putOnTop(const QString &location);
    // The box shows no address.
    void showNone();

private:
    QComboBox *const m_box;
    TypedAddress *const m_typed;
    QStringListModel *const m_model;
};
