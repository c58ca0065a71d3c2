#include "platform/qtdialogs.h"

#include <QMessageBox>

void QtDialogs::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}
