// Reading the scenario from a program beside the card.
#include "simcard/scenario_file.h"
#include <windows.h>
#include <cstdlib>
#include <cstring>

constexpr DWORD SCENARIO_FILE_MAX = 64 * 1024;  // as the card reads it

void ReadProgramScenario(Scenario* scenario) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("SIMCARD_SCENARIO", path, sizeof path);
    if (length == 0) {
        length = GetModuleFileNameA(nullptr, path, sizeof path);
        char* slash = length < sizeof path ? strrchr(path, '\\') : nullptr;
        if (slash && size_t(slash + 1 - path) + sizeof "simcard.ini" <= sizeof path) {
            strcpy(slash + 1, "simcard.ini");
            length = DWORD(strlen(path));
        } else {
            length = 0;
        }
    }
    char* text = static_cast<char*>(calloc(1, SCENARIO_FILE_MAX + 1));
    HANDLE file = length > 0 && length < sizeof path
                      ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)
                      : INVALID_HANDLE_VALUE;
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        if (text) ReadFile(file, text, SCENARIO_FILE_MAX, &read, nullptr);
        CloseHandle(file);
    }
    ParseScenario(text ? text : "", scenario);
    free(text);
}
