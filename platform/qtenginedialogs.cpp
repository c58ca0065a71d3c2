#include "platform/qtenginedialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

// A question whose safe answer, No, is what Enter gives.
bool askNo(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

QString QtEngineDialogs::saveFileName(QWidget *parent, const QString &suggestedPath)
{
    QFileDialog dialog(parent, QStringLiteral("Save Download"));
    dialog.setObjectName(QStringLiteral("dlgSaveDownload"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggestedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool QtEngineDialogs::credentials(QWidget *parent, const QString &site, const QString &realm,
                                  QString *user, QString *password)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgSignIn"));
    dialog.setWindowTitle(QStringLiteral("Sign In"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *intro = new QLabel(QStringLiteral("%1 asks for a user name and password.").arg(site),
                             &dialog);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    auto *realmLabel = new QLabel(realm, &dialog);
    realmLabel->setTextFormat(Qt::PlainText);
    form->addRow(QStringLiteral("Realm:"), realmLabel);
    auto *userEdit = new QLineEdit(user ? *user : QString(), &dialog);
    auto *passwordEdit = new QLineEdit(&dialog);
    passwordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&User name:"), userEdit);
    form->addRow(QStringLiteral("&Password:"), passwordEdit);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (user)
        *user = userEdit->text();
    if (password)
        *password = passwordEdit->text();
    return true;
}

bool QtEngineDialogs::acceptCertificateError(QWidget *parent, const QString &host,
                                             const QString &error)
{
    return askNo(parent, QStringLiteral("Certificate Error"),
                 QStringLiteral("The certificate of %1 cannot be trusted:\n\n%2\n\n"
                                "Someone may be posing as this site. Go on anyway?")
                     .arg(host, error));
}

bool QtEngineDialogs::grantPermission(QWidget *parent, const QString &site, const QString &what)
{
    return askNo(parent, QStringLiteral("Permission"),
                 QStringLiteral("%1 asks to use %2. Allow it?").arg(site, what));
}

bool QtEngineDialogs::openExternally(QWidget *parent, const QString &address)
{
    // The page chose the address; a very long one is cut for showing only.
    constexpr qsizetype MaxShown = 1000;
    const QString shown =
        address.size() > MaxShown ? address.left(MaxShown) + QChar(0x2026) : address;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Open in Another Program"),
                    QStringLiteral("This page wants another program on this computer to open:"
                                   "\n\n%1\n\nOpen it?")
                        .arg(shown),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("dlgOpenExternally"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtEngineDialogs::alert(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtEngineDialogs::confirm(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

bool QtEngineDialogs::prompt(QWidget *parent, const QString &title, const QString &text,
                             const QString &defaultValue, QString *result)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent, title, text, QLineEdit::Normal, defaultValue, &ok);
    if (ok && result)
        *result = answer;
    return ok;
}
