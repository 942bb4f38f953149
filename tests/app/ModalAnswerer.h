#pragma once

// Answers the modal dialogs and boxes that a command opens, one handler per
// dialog in order. It polls QApplication::activeModalWidget() from a timer, so it
// works inside the dialogs' own event loops. The progress dialog is left alone.
// A dialog beyond the handlers, or any dialog still open after the time limit,
// is rejected and counted, so a test never hangs on a box it did not expect.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <functional>
#include <vector>

// What a message box showed when it was answered.
struct BoxRecord
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool hasParent = false;
};

class ModalAnswerer
{
public:
    using Handler = std::function<void(QWidget *)>;

    explicit ModalAnswerer(std::vector<Handler> handlers, int limitMs = 20000)
        : handlers(std::move(handlers))
        , limit(limitMs)
    {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start(10);
    }

    int answered = 0;   // handlers used so far
    int unexpected = 0; // dialogs beyond the handlers, rejected
    bool timedOut = false;
    QStringList classNames; // every dialog seen, in order

    // Handlers for the usual answers.
    static Handler Box(BoxRecord *record, QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return [record, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return w->close(), void();
            *record = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                       box->parentWidget() != nullptr};
            if (QAbstractButton *b = box->button(button))
                b->click();
            else
                box->reject();
        };
    }

    // Accepts a file dialog with one path (a file, a new file or a folder), or
    // with several file names inside one folder.
    static Handler Choose(const QString &path, QString *caption = nullptr)
    {
        return [path, caption](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog)
                return w->close(), void();
            if (caption)
                *caption = dialog->windowTitle();
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept checks the choice
        };
    }

    static Handler ChooseMany(const QString &folder, const QStringList &names)
    {
        return [folder, names](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog)
                return w->close(), void();
            dialog->setDirectory(folder);
            QStringList quoted;
            for (const QString &n : names)
                quoted << QLatin1Char('"') + n + QLatin1Char('"');
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(quoted.join(QLatin1Char(' ')));
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept checks the choice
        };
    }

    static Handler Cancel(QString *caption = nullptr)
    {
        return [caption](QWidget *w) {
            if (caption)
                *caption = w->windowTitle();
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
            else
                w->close();
        };
    }

    // Everything about a file dialog that a command sets up, recorded before answering.
    struct DialogRecord
    {
        QString caption;
        QString directory;
        QStringList nameFilters;
        QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
        QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
        QFileDialog::Options options;
        bool parentIsWindow = false;
    };
    static Handler Record(DialogRecord *record, Handler then)
    {
        return [record, then](QWidget *w) {
            if (auto *dialog = qobject_cast<QFileDialog *>(w)) {
                *record = {dialog->windowTitle(),
                           dialog->directory().absolutePath(),
                           dialog->nameFilters(),
                           dialog->fileMode(),
                           dialog->acceptMode(),
                           dialog->options(),
                           dialog->parentWidget() != nullptr && dialog->parentWidget()->isWindow()};
            }
            then(w);
        };
    }

private:
    void Poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (clock.elapsed() > limit) {
            if (w && !qobject_cast<QProgressDialog *>(w)) {
                timedOut = true;
                Dismiss(w);
            }
            return;
        }
        if (!w || w == last || !w->isVisible() || qobject_cast<QProgressDialog *>(w))
            return;
        last = w;
        classNames << QString::fromLatin1(w->metaObject()->className());
        if (answered < int(handlers.size())) {
            handlers[size_t(answered++)](w);
        } else {
            ++unexpected;
            Dismiss(w);
        }
    }

    static void Dismiss(QWidget *w)
    {
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->reject();
        else
            w->close();
    }

    std::vector<Handler> handlers;
    qint64 limit;
    QElapsedTimer clock;
    QTimer timer;
    QPointer<QWidget> last;
};
