// The words of a scenario line, the same for every section.
#include "simcard/scenario_words.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameWord(const char* a, const char* b) {
    while (*a && LowerAscii(*a) == LowerAscii(*b)) {
        ++a;
        ++b;
    }
    return LowerAscii(*a) == LowerAscii(*b);  // both at their end, or a mismatch
}

bool ParseInteger(const char* text, long long min, long long max, long long* value) {
    if (!*text) return false;
    char* end = nullptr;
    long long v = strtoll(text, &end, 10);
    if (*end || v < min || v > max) return false;
    *value = v;
    return true;
}

bool ParseNumber(const char* text, double min, double max, double* value) {
    if (!*text) return false;
    char* end = nullptr;
    double v = strtod(text, &end);
    if (*end || !std::isfinite(v) || v < min || v > max) return false;
    *value = v;
    return true;
}

// Splitting at ".." first keeps "2..12" from being read as "2." and ".12".
bool SplitRange(const char* text, char* first, char* second, size_t size, bool* isRange) {
    const char* dots = strstr(text, "..");
    size_t length = dots ? size_t(dots - text) : strlen(text);
    if (length >= size) return false;
    memcpy(first, text, length);
    first[length] = 0;
    *isRange = dots != nullptr;
    const char* rest = dots ? dots + 2 : text;
    if (strlen(rest) >= size) return false;
    strcpy(second, rest);
    return true;
}

bool SplitKey(char* token, char** value) {
    char* equals = strchr(token, '=');
    if (!equals) return false;
    *equals = 0;
    *value = equals + 1;
    return true;
}
