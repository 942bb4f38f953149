#pragma once

#include <QProgressDialog>

// The progress dialog of the long operations. It has no cancel button, and
// Escape is swallowed here, so a running operation cannot be interrupted.
class MyProgressDialog : public QProgressDialog
{
public:
    MyProgressDialog(const QString &labelText, const QString &cancelButtonText, int minimum, int maximum,
                     QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MyProgressDialog() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
