// Fills the satellite list with one entry per transponder file and the
// transponder list with the entries of the chosen satellite's file.
#include "app/app_state.h"
#include "transponders/transponder_files.h"
#include "transponders/transponders.h"

// The whole file in one heap block; nullptr when it cannot be read.
char* ReadWholeFile(HANDLE file, DWORD* size) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length) || length.QuadPart > 64 * 1024 * 1024) return nullptr;
    *size = (DWORD)length.QuadPart;
    char* data = (char*)HeapAlloc(GetProcessHeap(), 0, *size + 1);
    if (!data) return nullptr;
    DWORD read = 0;
    if (*size && !ReadFile(file, data, *size, &read, nullptr)) read = 0;
    *size = read;
    data[read] = 0;
    return data;
}

static void AddSatellite(const char* fileName, const char* data, DWORD size) {
    char name[SATELLITE_NAME_SIZE];
    ParseSatelliteName(data, size, name, sizeof name);
    uint32_t key = (uint32_t)PositionKeyFromFileName(fileName);
    char label[SATELLITE_LABEL_SIZE];
    if (!FormatSatelliteLabel(key, name, AppState.sortByName, label, sizeof label)) return;
    LRESULT index = SendMessageA(AppState.satelliteCombo, CB_ADDSTRING, 0, (LPARAM)label);
    if (index < 0) return;
    SendMessageA(AppState.satelliteCombo, CB_SETITEMDATA, index, key);
    if (key == AppState.settings.satellitePosition) SendMessageA(AppState.satelliteCombo, CB_SETCURSEL, index, 0);
}

int ListSatellites() {
    AppState.calls.setProgramFolder();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(TRANSPONDER_SEARCH, &found);
    if (search == INVALID_HANDLE_VALUE) return 1;
    int failed = 0;
    int listed = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!IsTransponderFileName(found.cFileName)) continue;
        char path[TRANSPONDER_PATH_SIZE];
        if (!FormatListedFilePath(found.cFileName, path, sizeof path)) {
            failed = 1;
            break;
        }
        // Opened for writing too: the list holds only files the program can
        // edit, and one that refuses (read-only) ends the listing there; the
        // entries listed before it stay, and the file itself is never touched.
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed = 1;
            break;
        }
        DWORD size = 0;
        char* data = ReadWholeFile(file, &size);
        CloseHandle(file);
        if (!data) {
            failed = 1;
            break;
        }
        AddSatellite(found.cFileName, data, size);
        HeapFree(GetProcessHeap(), 0, data);
        ++listed;
    } while (listed < SATELLITE_FILES_MAX && FindNextFileA(search, &found));
    FindClose(search);
    return failed;
}

int LoadTransponderList() {
    char path[LOAD_PATH_SIZE];
    if (!FormatTransponderFilePath(AppState.settings.satellitePosition, path, sizeof path)) return 1;
    AppState.calls.setProgramFolder();
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD size = 0;
    char* data = ReadWholeFile(file, &size);
    CloseHandle(file);
    if (!data) return 1;

    SendMessageA(AppState.transponderCombo, CB_RESETCONTENT, 0, 0);
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        LRESULT index = SendMessageA(AppState.transponderCombo, CB_ADDSTRING, 0, (LPARAM)entry);
        // With several entries of the current frequency the last one wins.
        if (index >= 0 && TransponderEntryFrequency(entry) == AppState.settings.transponderFrequency)
            SendMessageA(AppState.transponderCombo, CB_SETCURSEL, index, 0);
    }
    HeapFree(GetProcessHeap(), 0, data);
    return 0;
}

int SelectSatellite() {
    LRESULT index = SendMessageA(AppState.satelliteCombo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return 1;
    LRESULT key = SendMessageA(AppState.satelliteCombo, CB_GETITEMDATA, index, 0);
    if (key == CB_ERR) return 1;
    AppState.settings.satellitePosition = (uint32_t)key;
    return 0;
}
