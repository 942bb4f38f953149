#pragma once

// Test-only: makes a chosen changing step of ArchiveIO fail, or ends the
// process right after it, to prove the engine's write order. Compiled only
// into builds with OSTREVALE_FAULT_INJECTION. The plan is read from the
// environment on first use (OSTREVALE_FAIL_STEP="kind:n", kind one of write,
// resize, rename, remove, open, any; OSTREVALE_CRASH_AFTER_STEP="n") and can be
// set directly by in-process tests. Opening (kind open) can be made to fail
// like a write-protected file or folder; it changes nothing, so it is not
// counted among the steps of kind any and ends no process.
//
// OSTREVALE_TEAR_WRITE="n:bytes" hands only the first `bytes` bytes of the n-th
// write to the file and then ends the process, as a power cut that tears a
// write would leave it. OSTREVALE_TRACE_FILE names a file that gets one line per
// step (the changing ones, and syncs, copies and the release of a replaced
// file, which change no bytes but take time), so a test can assert their order.
#ifndef OSTREVALE_FAULT_INJECTION
#error "FaultInjection.h is part of fault-injection builds only"
#endif

#include <QString>
#include <QStringList>

namespace FaultInjection {

enum class Step { Any, Write, Resize, Rename, Remove, Open };

void Reset();                  // forget every plan and count
void FailAt(Step kind, int n); // the n-th step of that kind (1-based) fails
void CrashAfter(int n);        // _exit(CrashExitCode) after the n-th step of any kind
int StepsTaken();              // changing steps so far, successful or not
constexpr int CrashExitCode = 86;
void TearWrite(int n, qint64 bytes); // the n-th write stops after `bytes` bytes

// The trace of steps, in order ("rename A -> B", "sync A", ...), kept in memory
// from StartTrace on (and written to OSTREVALE_TRACE_FILE when that is set).
void StartTrace();
QStringList Trace();
void Note(const QString &event);

// For ArchiveIO::Write, after BeforeStep(Write): how many of `size` bytes to
// write before ending the process, or -1 to write them all.
qint64 TornLength(qint64 size);
// Ends the process like a sudden kill.
[[noreturn]] void EndNow();

// For ArchiveIO: called before a changing step, false when the step is to fail.
bool BeforeStep(Step kind);
// For ArchiveIO: called after a changing step; ends the process like a sudden kill when planned.
void AfterStep();

} // namespace FaultInjection
