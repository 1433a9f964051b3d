// Fatal errors: the one way code above the subsystems reports what the program cannot live with.
// The program decides what "fatal" does by installing a reporter; any thread.
#pragma once

// Shows or records message and ends the process, or the calling thread; never returns.
using FatalReporter = void (*)(const char* message);

// Installs the reporter FatalError hands its message to; null restores the default, which
// writes the message to stderr and ends the process with exit code 1.
void FatalErrorSetReporter(FatalReporter reporter);

// Formats at most 1023 characters (longer messages are cut) and hands them to the reporter.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
