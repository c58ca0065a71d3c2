#include "platform/qtdialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>

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
    QProcess process;
    process.setProgram(args.takeFirst());
    process.setArguments(args);
    if (process.startDetached())
        return true;
    *error = process.errorString();
    return false;
}
