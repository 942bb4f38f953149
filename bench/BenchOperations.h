#pragma once

#include <QStringList>

// One measured operation, run in a child process of the runner so that its peak
// memory is its own. Each writes "key seconds" lines to the result file; the
// clock runs only around the operation itself, not around start-up or setup.
namespace BenchOperations {

// `arguments`: operation name, result file, then the operation's own arguments.
// Returns the process exit status (non-zero when the operation reported an error).
int Run(int argc, char **argv);

} // namespace BenchOperations
