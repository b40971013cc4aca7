#pragma once
// The words of a scenario line, as every section reads them: keywords in any
// case, "key=value" words, "a..b" ranges and plain decimal numbers. The
// scenario reader and the [dish] section both build on these; no platform code.
#include <cstddef>
#include <cstdint>

constexpr uint32_t SCENARIO_MAX_DURATION_MS = 86400000;  // one timed line lasts a day at most
constexpr size_t SCENARIO_MAX_LINE = 255;                // longer lines are bad lines

bool SameWord(const char* a, const char* b);
// A whole token as a decimal integer within [min, max].
bool ParseInteger(const char* text, long long min, long long max, long long* value);
// A whole token as a finite number within [min, max].
bool ParseNumber(const char* text, double min, double max, double* value);
// "a" or "a..b" into two buffers of size bytes; a single value gives b = a.
bool SplitRange(const char* text, char* first, char* second, size_t size, bool* isRange);
// Splits "key=value" in place; false when there is no '='.
bool SplitKey(char* token, char** value);
