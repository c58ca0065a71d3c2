#include "system/qtdialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

void QtDialogs::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
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

QString QtDialogs::openFile(QWidget *parent, const QString &title, const QString &filter,
                            const QString &fileName)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("dlgCommonDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(nameFilters(filter));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
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
