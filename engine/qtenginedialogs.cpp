#include "engine/qtenginedialogs.h"

#include "engine/pagedialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QVBoxLayout>

#include <memory>

namespace {

// A page can hand over megabytes of text; a dialog shows a readable beginning.
constexpr qsizetype MaxShownCharacters = 10'000;

QString clipped(const QString &text, qsizetype most = MaxShownCharacters)
{
    if (text.size() <= most)
        return text;
    return text.left(most) + QChar(0x2026);
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    // Set before the text: an automatic format would take page markup as ours, and load
    // what an <img> names (a device file, a pipe) on the UI thread.
    label->setTextFormat(Qt::PlainText);
    label->setText(clipped(text));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The asking page's window: the dialog stands over it without being a part of it.
QWidget *ownerOf(const PageDialog &question)
{
    return question.page() ? question.page()->window() : nullptr;
}

QMessageBox *messageBox(const PageDialog &question, QMessageBox::Icon icon, const QString &title,
                        const QString &text, QMessageBox::StandardButtons buttons)
{
    auto *box = new QMessageBox(ownerOf(question));
    box->setIcon(icon);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(clipped(text));
    box->setStandardButtons(buttons);
    return box;
}

void addOkCancel(QDialog &dialog, QBoxLayout *layout)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

// "Don't let this page show more dialogs", where the page has asked before.
QCheckBox *addStopBox(const PageDialog &question, QDialog &dialog)
{
    if (!question.offerStop())
        return nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
        box->setCheckBox(new QCheckBox(PageDialog::stopText()));
        return box->checkBox();
    }
    auto *check = new QCheckBox(PageDialog::stopText(), &dialog);
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(check, grid->rowCount(), 0, 1, grid->columnCount());
    else if (auto *box = qobject_cast<QBoxLayout *>(dialog.layout()))
        box->insertWidget(box->count() - 1, check);
    return check;
}

// While a question is open its page takes no input; nested questions end in reverse
// order, so each gives back what it found.
class PageHold
{
public:
    explicit PageHold(QWidget *page)
        : m_page(page)
        , m_wasDisabled(page && page->testAttribute(Qt::WA_ForceDisabled))
    {
        if (m_page)
            m_page->setEnabled(false);
    }
    ~PageHold()
    {
        if (m_page)
            m_page->setEnabled(!m_wasDisabled);
    }
    PageHold(const PageHold &) = delete;
    PageHold &operator=(const PageHold &) = delete;

private:
    QPointer<QWidget> m_page;
    bool m_wasDisabled;
};

// Shows the dialog over its page and waits for the answer without holding anything
// else: the main window, the other document windows and this window's own close box
// go on working. A modal dialog would hold the whole main window, so a page that asks
// without end would leave the user nothing but killing the program.
int run(PageDialog &question, QDialog &dialog)
{
    QCheckBox *stop = addStopBox(question, dialog);
    if (question.isCancelled())
        return QDialog::Rejected;
    dialog.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(&question, &PageDialog::cancelled, &dialog, &QDialog::reject);
    if (QWidget *page = question.page()) {
        QObject::connect(page, &QObject::destroyed, &dialog, &QDialog::reject);
        dialog.adjustSize();
        const QPoint centre = page->mapToGlobal(page->rect().center());
        dialog.move(centre - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    PageHold hold(question.page());
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.isVisible())
        loop.exec();
    dialog.hide();
    if (stop && stop->isChecked())
        question.setStopAsked(true);
    return question.isCancelled() ? int(QDialog::Rejected) : dialog.result();
}

int run(PageDialog &question, QMessageBox *box)
{
    const std::unique_ptr<QMessageBox> owned(box);
    run(question, static_cast<QDialog &>(*box));
    return question.isCancelled() ? int(QMessageBox::NoButton) : int(box->standardButton(box->clickedButton()));
}

// A question whose safe answer, No, is what Enter and Esc give.
bool askNo(PageDialog &question, const QString &title, const QString &text)
{
    QMessageBox *box = messageBox(question, QMessageBox::Warning, title, text,
                                  QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return run(question, box) == QMessageBox::Yes;
}

} // namespace

QString QtEngineDialogs::saveFileName(PageDialog &question, const QString &suggestedPath)
{
    QFileDialog dialog(ownerOf(question), QStringLiteral("Save Download"));
    dialog.setObjectName(QStringLiteral("dlgSaveDownload"));
    // The program's own dialog: it can carry the page's stop box and stay non-modal.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The folder and the name apart: given a whole path in a folder it cannot open, the
    // dialog would stay in the working folder and put the path in the name field.
    const QFileInfo suggested(suggestedPath);
    const QString folder = suggested.absolutePath();
    dialog.setDirectory(QFileInfo(folder).isDir() ? folder : QDir::homePath());
    dialog.selectFile(suggested.fileName());
    if (run(question, dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool QtEngineDialogs::credentials(PageDialog &question, const QString &site, const QString &realm,
                                  QString *user, QString *password)
{
    QDialog dialog(ownerOf(question));
    dialog.setObjectName(QStringLiteral("dlgSignIn"));
    dialog.setWindowTitle(QStringLiteral("Sign In"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(plainLabel(site + QStringLiteral(" asks for a user name and password."), &dialog));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Realm:"), plainLabel(realm, &dialog));
    auto *userEdit = new QLineEdit(user ? *user : QString(), &dialog);
    auto *passwordEdit = new QLineEdit(&dialog);
    passwordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&User name:"), userEdit);
    form->addRow(QStringLiteral("&Password:"), passwordEdit);
    layout->addLayout(form);
    addOkCancel(dialog, layout);
    if (run(question, dialog) != QDialog::Accepted)
        return false;
    if (user)
        *user = userEdit->text();
    if (password)
        *password = passwordEdit->text();
    return true;
}

bool QtEngineDialogs::acceptCertificateError(PageDialog &question, const QString &host,
                                             const QString &error)
{
    return askNo(question, QStringLiteral("Certificate Error"),
                 QStringLiteral("The certificate of %1 cannot be trusted:\n\n%2\n\n"
                                "Someone may be posing as this site. Go on anyway?")
                     .arg(host, error));
}

bool QtEngineDialogs::grantPermission(PageDialog &question, const QString &site, const QString &what)
{
    return askNo(question, QStringLiteral("Permission"),
                 QStringLiteral("%1 asks to use %2. Allow it?").arg(site, what));
}

bool QtEngineDialogs::openExternally(PageDialog &question, const QString &address)
{
    // The page chose the address; a very long one is cut for showing only.
    const QString shown = clipped(address, 1000);
    return askNo(question, QStringLiteral("Open in Another Program"),
                 QStringLiteral("This page wants another program on this computer to open:"
                                "\n\n%1\n\nOpen it?")
                     .arg(shown));
}

void QtEngineDialogs::alert(PageDialog &question, const QString &title, const QString &text)
{
    run(question, messageBox(question, QMessageBox::NoIcon, title, text, QMessageBox::Ok));
}

bool QtEngineDialogs::confirm(PageDialog &question, const QString &title, const QString &text)
{
    return run(question, messageBox(question, QMessageBox::NoIcon, title, text,
                                    QMessageBox::Ok | QMessageBox::Cancel))
           == QMessageBox::Ok;
}

bool QtEngineDialogs::prompt(PageDialog &question, const QString &title, const QString &text,
                             const QString &defaultValue, QString *result)
{
    // Not QInputDialog: its label guesses the text's format.
    QDialog dialog(ownerOf(question));
    dialog.setObjectName(QStringLiteral("dlgPrompt"));
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(plainLabel(text, &dialog));
    auto *edit = new QLineEdit(clipped(defaultValue), &dialog);
    layout->addWidget(edit);
    addOkCancel(dialog, layout);
    if (run(question, dialog) != QDialog::Accepted)
        return false;
    if (result)
        *result = edit->text();
    return true;
}
