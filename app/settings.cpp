// "orv.dat": the settings block, read once at start-up and written once at the
// end. No header, no checksum: what is in memory at the end is what is saved,
// reserved bytes included, so a newer program's bytes survive an older one.
#include "app/app.h"
#include <cstring>

static const char SETTINGS_FILE[] = "orv.dat";

void ReadSettingsFile() {
    memset(&AppState.settings, 0, sizeof AppState.settings);
    SetProgramFolderAsWorkingDirectory();
    HANDLE file = CreateFileA(SETTINGS_FILE, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // A short file fills the first bytes only; bytes beyond 256 are not read.
    DWORD read = 0;
    ReadFile(file, &AppState.settings, sizeof AppState.settings, &read, nullptr);
    CloseHandle(file);
}

int SaveSettings() {
    SetProgramFolderAsWorkingDirectory();
    DeleteFileA(SETTINGS_FILE);
    HANDLE file = CreateFileA(SETTINGS_FILE, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, &AppState.settings, sizeof AppState.settings, &written, nullptr);
    CloseHandle(file);
    return 0;
}
