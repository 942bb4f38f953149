#include "archive/io/FaultInjection.h"

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

#include <cstdio>

#ifdef Q_OS_WIN
#include <process.h>
#else
#include <unistd.h>
#endif

namespace FaultInjection {
namespace {

struct Plan
{
    bool loaded = false;
    Step failKind = Step::Any;
    int failAt = 0;     // 0: never
    int crashAfter = 0; // 0: never
    int steps = 0;
    int stepsOfKind[6] = {};
    int tearAt = 0; // the n-th write, 0: never
    qint64 tearBytes = 0;
    bool tracing = false;
    QStringList trace;
    QString traceFile;
};

Plan &CurrentPlan()
{
    static Plan plan;
    if (!plan.loaded) {
        plan.loaded = true;
        const QByteArray fail = qgetenv("OSTREVALE_FAIL_STEP");
        const int colon = fail.indexOf(':');
        if (colon > 0) {
            const QByteArray kind = fail.left(colon);
            plan.failAt = fail.mid(colon + 1).toInt();
            plan.failKind = kind == "write"    ? Step::Write
                            : kind == "resize" ? Step::Resize
                            : kind == "rename" ? Step::Rename
                            : kind == "remove" ? Step::Remove
                            : kind == "open"   ? Step::Open
                                               : Step::Any;
        }
        plan.crashAfter = qgetenv("OSTREVALE_CRASH_AFTER_STEP").toInt();
        const QByteArray tear = qgetenv("OSTREVALE_TEAR_WRITE");
        const int tearColon = tear.indexOf(':');
        if (tearColon > 0) {
            plan.tearAt = tear.left(tearColon).toInt();
            plan.tearBytes = tear.mid(tearColon + 1).toLongLong();
        }
        plan.traceFile = qEnvironmentVariable("OSTREVALE_TRACE_FILE");
        plan.tracing = !plan.traceFile.isEmpty();
    }
    return plan;
}

} // namespace

void Reset()
{
    CurrentPlan() = Plan();
    CurrentPlan().loaded = true;
}

void TearWrite(int n, qint64 bytes)
{
    CurrentPlan().tearAt = n;
    CurrentPlan().tearBytes = bytes;
}

void StartTrace()
{
    CurrentPlan().tracing = true;
    CurrentPlan().trace.clear();
}

QStringList Trace()
{
    return CurrentPlan().trace;
}

void Note(const QString &event)
{
    Plan &plan = CurrentPlan();
    if (!plan.tracing)
        return;
    plan.trace << event;
    if (!plan.traceFile.isEmpty()) {
        QFile file(plan.traceFile);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write((event + QLatin1Char('\n')).toUtf8());
    }
}

qint64 TornLength(qint64 size)
{
    const Plan &plan = CurrentPlan();
    if (plan.tearAt <= 0 || plan.stepsOfKind[int(Step::Write)] != plan.tearAt)
        return -1;
    return qBound<qint64>(0, plan.tearBytes, size);
}

void EndNow()
{
    std::fflush(nullptr);
    ::_exit(CrashExitCode);
}

void FailAt(Step kind, int n)
{
    Plan &plan = CurrentPlan();
    plan.failKind = kind;
    plan.failAt = n;
}

void CrashAfter(int n)
{
    CurrentPlan().crashAfter = n;
}

int StepsTaken()
{
    return CurrentPlan().steps;
}

bool BeforeStep(Step kind)
{
    Plan &plan = CurrentPlan();
    const int ofKind = ++plan.stepsOfKind[int(kind)];
    if (kind == Step::Open)
        return !(plan.failKind == Step::Open && ofKind == plan.failAt);
    ++plan.steps;
    if (plan.failAt > 0) {
        const int n = plan.failKind == Step::Any ? plan.steps : ofKind;
        if ((plan.failKind == Step::Any || plan.failKind == kind) && n == plan.failAt)
            return false;
    }
    return true;
}

void AfterStep()
{
    const Plan &plan = CurrentPlan();
    if (plan.crashAfter > 0 && plan.steps >= plan.crashAfter)
        EndNow();
}

} // namespace FaultInjection
