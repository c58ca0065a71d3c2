#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;
class WebBrowser;

// Find in page: a strip along the bottom of a document window that searches its page
// as the user types, moves from match to match and tells which match of how many.
class FindStrip : public QWidget
{
    Q_OBJECT
public:
    FindStrip(WebBrowser *browser, QWidget *parent);

    // Shows the strip with the field focused and its text selected, to type over.
    void open();
    // Moves to the next (previous) match of the field's text.
    void find(bool backward);
    // Hides the strip, clears the page's highlight and gives the page the focus.
    void dismiss();

    QLineEdit *const field;
    QToolButton *const previousButton;
    QToolButton *const nextButton;
    QCheckBox *const matchCase;
    QLabel *const count;
    QToolButton *const closeButton;

Q_SIGNALS:
    // Shown or hidden: the window makes room for it or gives the room back.
    void visibilityChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A new text: the search starts over from the top.
    void searchAgain();
    void matchCaseChanged();
    void showResult(int activeMatch, int matchCount);

    WebBrowser *const m_browser;
};
