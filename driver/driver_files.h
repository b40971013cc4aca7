#pragma once
// The files a driver keeps beside itself: its ini and its log, each found
// beside the module (the DLL, or the exe of dishserver) unless an environment
// variable names it.
#include <windows.h>
#include <cstdarg>
#include <cstdint>

// variable (or nullptr) names the file; else defaultName beside the module.
// An empty path when neither fits.
void DriverFilePath(const char* variable, const char* defaultName, char* path, DWORD size);

// "<ms> tid=<id> <text>\n", appended and closed at once: a reader sees each
// line as soon as it is written, and may delete the file at any time. Lines
// longer than 1 KiB are cut, never dropped.
void AppendDriverLog(const char* variable, const char* defaultName, uint32_t ms, const char* format, va_list args);
