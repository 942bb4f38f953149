#include "app/ProgressLabel.h"

ProgressLabel::ProgressLabel(QWidget *parent)
    : QLabel(parent)
{
    // Paths are shown as they are, never as rich text.
    setTextFormat(Qt::PlainText);
}

QSize ProgressLabel::sizeHint() const
{
    if (stale) {
        measured = QLabel::sizeHint();
        stale = false;
    }
    return measured;
}

void ProgressLabel::Remeasure()
{
    stale = true;
}
