#pragma once

#include <string>

// The installer's trace log: one plain-text file, one line per log statement, opened, appended
// and closed for every line, with no lock and no buffering.

// Names the trace log file; the path is in force even when a later step throws. Throws
// std::runtime_error "No filename in path", or the file-system library's errors.
void SetTraceLogFile(const std::wstring& path);

// The current trace log path, empty before SetTraceLogFile.
std::wstring GetTraceLogFile();

// Appends "<28-character UTC time> <level> : <escaped text>" and a line end. Never reports a
// failure and never changes the thread's last-error value.
void WriteTraceLogLine(const char* level, const std::string& text);

// Keeps a line one line: backslash and control bytes are written as escapes; UTF-8 passes.
std::string EscapeLogText(std::string text);
std::string EscapeControlChar(char c);

// Debugger output for a failure caught before the trace log exists.
void ReportEarlyFailure(const char* what);
std::wstring EarlyFailureText(const char* what);
