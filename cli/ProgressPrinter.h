#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

// A one-line progress bar (bar, count of total, current name) redrawn in place
// on a terminal. When disabled it prints nothing at all, so that output piped to
// a file or a script stays clean.
class ProgressPrinter
{
public:
    ProgressPrinter(FILE *out, bool enabled, int columns = 80);

    // Whether a progress bar belongs on this stream: a terminal, and not silenced.
    static bool WantedOn(FILE *stream, bool quiet);
    // The width of the terminal behind the stream, or 80.
    static int TerminalColumns(FILE *stream);

    void Start(int total);
    void SetLabel(const QString &label);
    void Step();
    // Ends the bar's line so that other text can follow; the bar is redrawn on the next step.
    void Interrupt();
    // Draws the final state and ends the line.
    void Finish();

    // The bar's line for a state, fitted into `columns` terminal columns.
    static QString Render(int count, int total, const QString &label, int columns);

private:
    void Draw(bool force);

    FILE *out;
    bool enabled;
    int columns;
    int total = 0;
    int count = 0;
    QString label;
    bool lineOpen = false;
    QElapsedTimer sinceDraw;
};
