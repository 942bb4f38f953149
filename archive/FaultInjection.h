#pragma once

// Test-only: makes a chosen changing step of ArchiveIO fail, or ends the
// process right after it, to prove the engine's write order. Compiled only
// into builds with OSTREVALE_FAULT_INJECTION. The plan is read from the
// environment on first use (OSTREVALE_FAIL_STEP="kind:n", kind one of write,
// resize, rename, remove, open, any; OSTREVALE_CRASH_AFTER_STEP="n") and can be
// set directly by in-process tests. Opening (kind open) can be made to fail
// like a write-protected file or folder; it changes nothing, so it is not
// counted among the steps of kind any and ends no process.
#ifndef OSTREVALE_FAULT_INJECTION
#error "FaultInjection.h is part of fault-injection builds only"
#endif

namespace FaultInjection {

enum class Step { Any, Write, Resize, Rename, Remove, Open };

void Reset();                  // forget every plan and count
void FailAt(Step kind, int n); // the n-th step of that kind (1-based) fails
void CrashAfter(int n);        // _exit(CrashExitCode) after the n-th step of any kind
int StepsTaken();              // changing steps so far, successful or not
constexpr int CrashExitCode = 86;

// For ArchiveIO: called before a changing step, false when the step is to fail.
bool BeforeStep(Step kind);
// For ArchiveIO: called after a changing step; ends the process like a sudden kill when planned.
void AfterStep();

} // namespace FaultInjection
