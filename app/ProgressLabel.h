#pragma once

#include <QLabel>

// The progress dialog's label. The dialog asks for the label's size hint with
// every new text, one per file, and measuring a long path costs more than
// copying a small file; this label measures again only when told to, once per
// frame of the dialog, and otherwise answers with the last measured size.
class ProgressLabel : public QLabel
{
public:
    explicit ProgressLabel(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // The next size hint measures the current text.
    void Remeasure();

private:
    mutable QSize measured;
    mutable bool stale = true;
};
