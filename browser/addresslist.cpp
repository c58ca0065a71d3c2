#include "browser/addresslist.h"

#include "browser/historyfile.h"
#include "browser/typedaddress.h"
#include "system/locationtext.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QUrl>

namespace {

// The edit field holds far more than the longest address the history keeps, so that a
// longer one is refused whole rather than cut short and visited (the field cuts what
// goes past its length, silently).
constexpr int editLength = int(16 * historyfile::MaxAddressBytes);

// The box made editable first: the typed address follows its edit field.
QComboBox *editable(QComboBox *box)
{
    box->setEditable(true);
    box->lineEdit()->setMaxLength(editLength);
    return box;
}

} // namespace

AddressList::AddressList(QComboBox *box)
    : m_box(editable(box))
    , m_typed(new TypedAddress(box))
    , m_model(new QStringListModel(box))
{
    // The list changes only through the history file and completed navigations.
    m_box->setInsertPolicy(QComboBox::NoInsert);
    m_box->setDuplicatesEnabled(true);
    // A history of a million addresses must not be measured item by item.
    m_box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_box->setModel(m_model);
    if (auto *view = qobject_cast<QListView *>(m_box->view()))
        view->setUniformItemSizes(true);
    // Matching addresses show in a list under the box; the text changes only when the
    // user picks one, so Enter visits exactly what was typed.
    QCompleter *suggestions = m_box->completer();
    suggestions->setCompletionMode(QCompleter::PopupCompletion);
    suggestions->setCaseSensitivity(Qt::CaseInsensitive);
    if (auto *list = qobject_cast<QListView *>(suggestions->popup()))
        list->setUniformItemSizes(true);
    // Left alone, the box picks the entry equal to its text (in any case) whenever an
    // edit ends, on Enter or on leaving the box, and that visit comes on top of Enter's.
    QObject::disconnect(m_box->lineEdit(), &QLineEdit::editingFinished, m_box, nullptr);
    // The box is named by its label; the field inside it and its list have none shown.
    m_box->lineEdit()->setAccessibleName(QStringLiteral("Address"));
    m_box->view()->setAccessibleName(QStringLiteral("Addresses visited"));
}

bool AddressList::tooLong(const QString &address)
{
    return !address.isEmpty() && !historyfile::fits(address);
}

QString AddressList::withoutUserInfo(const QString &location)
{
    const QUrl url(location);
    if (url.userInfo().isEmpty())
        return location;
    return locationText(url.adjusted(QUrl::RemoveUserInfo));
}

void AddressList::load(const QString &path, qsizetype count)
{
    // A history that cannot be read leaves what was read so far; no message. Of a file
    // of more addresses than anyone scrolls through, the newest are listed (the file
    // keeps them all).
    m_model->setStringList(historyfile::readLast(path, count).entries);
    m_box->setCurrentIndex(-1);
}

void AddressList::forget()
{
    const QString typed = m_box->currentText();
    m_model->setStringList({});
    m_box->setEditText(typed);
}

void AddressList::takeSuggestion()
{
    QAbstractItemView *suggestions = m_box->completer()->popup();
    const QModelIndex picked = suggestions->currentIndex();
    suggestions->hide();
    if (picked.isValid())
        m_box->setEditText(picked.data().toString());
}

bool AddressList::isBeingTyped() const
{
    return m_typed->isBeingTyped();
}

void AddressList::typingDone()
{
    m_typed->reset();
}

void AddressList::putOnTop(const QString &location)
{
    m_typed->keepAcross([&] {
        // The first entry equal to the location, compared exactly.
        const int found = int(m_model->stringList().indexOf(location));
        if (found >= 0)
            m_model->removeRows(found, 1);
        m_model->insertRows(0, 1);
        m_model->setData(m_model->index(0), location);
    });
}

void AddressList::showNone()
{
    m_box->setCurrentIndex(-1);
    m_box->setEditText(QString());
    m_typed->reset();
}
