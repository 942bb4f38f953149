#include "app/MyProgressDialog.h"

#include <QKeyEvent>

MyProgressDialog::MyProgressDialog(const QString &labelText, const QString &cancelButtonText, int minimum,
                                   int maximum, QWidget *parent, Qt::WindowFlags flags)
    : QProgressDialog(labelText, cancelButtonText, minimum, maximum, parent, flags)
{
}

MyProgressDialog::~MyProgressDialog() = default;

void MyProgressDialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject (close) the dialog on Escape.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}
