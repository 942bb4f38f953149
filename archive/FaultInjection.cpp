#include "archive/FaultInjection.h"

#include <QByteArray>
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
    }
    return plan;
}

} // namespace

void Reset()
{
    CurrentPlan() = Plan();
    CurrentPlan().loaded = true;
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
    if (plan.crashAfter > 0 && plan.steps >= plan.crashAfter) {
        std::fflush(nullptr);
        ::_exit(CrashExitCode);
    }
}

} // namespace FaultInjection
