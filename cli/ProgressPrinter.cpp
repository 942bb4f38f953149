#include "cli/ProgressPrinter.h"

#include <QByteArray>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kBarWidth = 24;
// Redraws closer together than this are skipped (the final one never is).
constexpr qint64 kRedrawMs = 80;

// Columns a character takes on a terminal: East Asian wide characters take two.
int CharColumns(QChar c)
{
    const ushort u = c.unicode();
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                      (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6);
    return wide ? 2 : 1;
}

// The end of the label that fits into `room` columns, marked with "..." when cut:
// the end of a path says more than its beginning.
QString FitLabel(const QString &label, int room)
{
    int used = 0;
    for (const QChar c : label)
        used += CharColumns(c);
    if (used <= room)
        return label;
    if (room < 4)
        return QString();
    QString tail;
    used = 3;
    for (int i = label.size() - 1; i >= 0; --i) {
        const int w = CharColumns(label[i]);
        if (used + w > room)
            break;
        used += w;
        tail.prepend(label[i]);
    }
    return QStringLiteral("...") + tail;
}

} // namespace

ProgressPrinter::ProgressPrinter(FILE *out, bool enabled, int columns)
    : out(out)
    , enabled(enabled)
    , columns(columns)
{
}

bool ProgressPrinter::WantedOn(FILE *stream, bool quiet)
{
#ifdef Q_OS_UNIX
    return !quiet && ::isatty(::fileno(stream)) == 1;
#else
    Q_UNUSED(stream);
    Q_UNUSED(quiet);
    return false;
#endif
}

int ProgressPrinter::TerminalColumns(FILE *stream)
{
#ifdef Q_OS_UNIX
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#else
    Q_UNUSED(stream);
#endif
    return 80;
}

QString ProgressPrinter::Render(int count, int total, const QString &label, int columns)
{
    const int filled = total > 0 ? int(qint64(kBarWidth) * qMin(count, total) / total) : kBarWidth;
    QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                   QString(kBarWidth - filled, QLatin1Char('.')) +
                   QStringLiteral("] %1/%2").arg(count).arg(total);
    // One column stays free so that the cursor never wraps onto a new line.
    const int room = columns - 1 - line.size() - 1;
    const QString fitted = FitLabel(label, room);
    if (!fitted.isEmpty())
        line += QLatin1Char(' ') + fitted;
    return line;
}

void ProgressPrinter::Start(int newTotal)
{
    total = newTotal;
    count = 0;
    label.clear();
    lineOpen = false;
    sinceDraw.invalidate();
}

void ProgressPrinter::SetLabel(const QString &newLabel)
{
    label = newLabel;
    Draw(false);
}

void ProgressPrinter::Step()
{
    ++count;
    Draw(false);
}

void ProgressPrinter::Interrupt()
{
    if (enabled && lineOpen) {
        std::fputs("\n", out);
        std::fflush(out);
    }
    lineOpen = false;
    sinceDraw.invalidate();
}

void ProgressPrinter::Finish()
{
    if (enabled && (lineOpen || count > 0))
        Draw(true);
    Interrupt();
}

void ProgressPrinter::Draw(bool force)
{
    if (!enabled)
        return;
    const bool last = count >= total;
    if (!force && !last && sinceDraw.isValid() && sinceDraw.elapsed() < kRedrawMs)
        return;
    // Back to the start of the line, then clear it.
    const QByteArray text = "\r\033[K" + Render(count, total, label, columns).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), out);
    std::fflush(out);
    lineOpen = true;
    sinceDraw.start();
}
