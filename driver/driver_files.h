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

// A box captioned with the driver's name on a thread of its own, so nothing
// waits for the user; one at a time, a second is only logged. wait: the
// caller's thread waits until it is read (start-up, when the program ends next).
void DriverMessage(bool wait, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The file's first maxBytes, NUL-terminated, in memory to free(); nullptr
// when it cannot be read (result says why). path gets the file's name.
char* ReadDriverFile(const char* variable, const char* defaultName, DWORD maxBytes, char* path, DWORD pathSize,
                     DWORD* length, HRESULT* result);
