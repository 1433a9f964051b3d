// What the command-line tools share: messages under the tool's name, usage errors, strict
// numbers, the last check of standard output and progress lines on standard error. The tool's
// main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Names the tool in every message; called first.
void ToolInit(const char* name);
// Prints "NAME: message" on stderr; returns 1, the failure exit code.
int ToolFail(const std::string& message);
// Prints "NAME: problem" and then the usage text on stderr; returns 2, the usage exit code.
int ToolUsage(const std::string& problem, const char* usage);
// printf to stdout, keeping the system's reason when a write fails (the C library may drop the
// data it could not write, and with it any later sign of why).
int ToolPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// fwrite of size bytes to stdout, keeping the reason as ToolPrintf does; false when it failed.
bool ToolWrite(const void* data, size_t size);
// False once anything written to stdout has failed: long outputs stop early.
bool ToolStdoutOk();
// The exit code to end with: code, or 1 after "NAME: writing standard output failed: REASON"
// when anything written to stdout did not arrive.
int ToolFinish(int code);

// Reads text as a plain decimal number: digits, at most one "."; no sign, exponent or spaces.
bool ToolParseDecimal(const char* text, double* value);
// Reads text as a whole number of digits only, at most max.
bool ToolParseWhole(const char* text, uint64_t max, uint64_t* value);

// A progress line on stderr: on a terminal one line rewritten in place, at most ten times a
// second; elsewhere a plain line every five seconds at most, the first after five seconds.
struct ToolProgress {
    bool terminal = false;
    bool standing = false; // a terminal line is shown and not yet ended
    size_t width = 0;      // its length, so a shorter line can blank the rest
    std::chrono::steady_clock::time_point start, last;
};

// Starts showing progress where stderr goes.
void ToolProgressBegin(ToolProgress* progress);
// Shows "NAME: text" when the interval allows.
void ToolProgressShow(ToolProgress* progress, const std::string& text);
// Ends the terminal line: kept, ending in a newline, or blanked for the message that follows.
void ToolProgressEnd(ToolProgress* progress, bool keep);
