#pragma once

#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTreeView;
class VisitHistory;
class VisitList;

// "History": the pages visited, by day, newest first, with a search field that filters
// them by title and address as the user types. Enter or a double click opens the chosen
// visit's address in the active document window, Shift+Enter (or the menu's "Open in New
// Window") in a new one. A visit, a day or every visit can be deleted. Modeless; closing
// it deletes it.
class frmHistory : public QWidget
{
    Q_OBJECT
public:
    // A yes-or-no question to the user: true for yes.
    using Ask = std::function<bool(QWidget *parent, const QString &question)>;

    // ask: how a deletion of a day or of everything is confirmed (a message box when none).
    explicit frmHistory(VisitHistory &history, QWidget *parent = nullptr, Ask ask = {});

    VisitList *list() const { return m_list; }

    QLineEdit *const txtSearch;
    QTreeView *const tvwVisits;
    QLabel *const lblStatus;
    QAction *const mnuOpen;
    QAction *const mnuOpenNewWindow;
    QAction *const mnuDeleteVisit;
    QAction *const mnuDeleteDay;
    QAction *const mnuDeleteAll;

Q_SIGNALS:
    // The user chose to visit the address again: in the active document window, or in
    // a new one.
    void openRequested(const QString &address, bool newWindow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectEvents();
    void txtSearch_Change();
    void tvwVisits_DblClick(const QModelIndex &index);
    // Near the end of what is listed (or with room below it), the next visits.
    void tvwVisits_Scroll();
    void tvwVisits_ContextMenu(const QPoint &position);
    void mnuDeleteVisit_Click();
    void mnuDeleteDay_Click();
    void mnuDeleteAll_Click();
    void openCurrent(bool newWindow);
    // The current row, or the first visit while none is current.
    int chosenRow() const;
    void spanDays(int first, int last);
    void showStatus();
    // New visits came: listed when the list shows its newest ones.
    void visitsAdded();

    VisitHistory &m_history;
    VisitList *m_list;
    Ask m_ask;
    bool m_deleting = false;
};
