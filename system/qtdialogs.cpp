#include "system/qtdialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

void QtDialogs::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    // Messages carry names and paths from outside: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QStringList QtDialogs::nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

namespace {

// The file dialog, for a file to open (one that exists) or to save to.
QString chooseFile(QWidget *parent, const QString &title, const QString &filter, const QString &fileName,
                   QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("dlgCommonDialog"));
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(mode);
    dialog.setNameFilters(QtDialogs::nameFilters(filter));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtDialogs::openFile(QWidget *parent, const QString &title, const QString &filter,
                            const QString &fileName)
{
    return chooseFile(parent, title, filter, fileName, QFileDialog::AcceptOpen);
}

std::unique_ptr<QPrinter> QtDialogs::choosePrinter(QWidget *parent, const QString &title)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), parent);
    dialog.setObjectName(QStringLiteral("dlgCommonDialog"));
    dialog.setWindowTitle(title);
    // A page prints whole: no page numbers to give, no selection to print.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return printer;
}

QString QtDialogs::saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &fileName)
{
    return chooseFile(parent, title, filter, fileName, QFileDialog::AcceptSave);
}

bool QtDialogs::confirm(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::nameAndPlace(QWidget *parent, const QString &title, QString *name, const QStringList &places,
                             int *place)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgNameAndPlace"));
    dialog.setWindowTitle(title);
    auto *nameBox = new QLineEdit(*name);
    nameBox->setObjectName(QStringLiteral("txtName"));
    auto *placeBox = new QComboBox;
    placeBox->setObjectName(QStringLiteral("cboPlace"));
    placeBox->addItems(places);
    placeBox->setCurrentIndex(*place);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    // A name there must be.
    QObject::connect(nameBox, &QLineEdit::textChanged, buttons, [buttons](const QString &text) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Name:"), nameBox);
    form->addRow(QStringLiteral("Create &in:"), placeBox);
    form->addRow(buttons);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(420, 0)));
    nameBox->selectAll();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *name = nameBox->text();
    *place = placeBox->currentIndex();
    return true;
}

bool QtProgramLauncher::startDetached(const QString &commandLine, QString *error)
{
    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty()) {
        *error = QStringLiteral("the command line is empty");
        return false;
    }
    QString program = args.takeFirst();
    if (!program.contains(QLatin1Char('/'))) {
        // Only PATH's own folders: a bare name would otherwise also run a file of that
        // name from the working folder, where anyone may have put one. A PATH entry that
        // is empty or relative stands for the working folder too.
        QStringList folders;
        const QStringList entries = qEnvironmentVariable("PATH").split(QLatin1Char(':'));
        for (const QString &entry : entries) {
            if (QDir::isAbsolutePath(entry))
                folders << entry;
        }
        const QString found = folders.isEmpty() ? QString() : QStandardPaths::findExecutable(program, folders);
        if (found.isEmpty()) {
            *error = QStringLiteral("no program of that name on the search path");
            return false;
        }
        program = found;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    if (process.startDetached())
        return true;
    *error = process.errorString();
    return false;
}

bool QtProgramLauncher::openOnDesktop(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
