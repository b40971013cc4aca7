// The sky's files are found the way the program lists its satellites: every
// "NNNN.ini" of the folder, up to the list's 500.
#include "simcard/sky_folder.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr DWORD SKY_FILE_MAX = 1024 * 1024;  // the biggest list is 50 kB; more is not a list

// The folder of this process's exe, with its trailing backslash.
static void ExeFolder(char* folder, size_t size) {
    DWORD length = GetModuleFileNameA(nullptr, folder, DWORD(size));
    if (length == 0 || length >= size) length = 0;
    folder[length] = 0;
    char* slash = strrchr(folder, '\\');
    if (slash) slash[1] = 0;
}

static bool IsAbsolute(const char* path) { return path[0] == '\\' || path[0] == '/' || (path[0] && path[1] == ':'); }

static bool ReadSkyFile(const char* path, uint32_t key, Sky* sky) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char* data = static_cast<char*>(malloc(SKY_FILE_MAX));
    DWORD size = 0;
    bool read = data && ReadFile(file, data, SKY_FILE_MAX, &size, nullptr);
    CloseHandle(file);
    if (read) read = AddSkySatellite(sky, key, data, size);
    free(data);
    return read;
}

int LoadSkyFolder(const char* configured, Sky* sky, char* folder, size_t folderSize) {
    char base[MAX_PATH];
    ExeFolder(base, sizeof base);
    int n = !configured[0]           ? snprintf(folder, folderSize, "%sTransponders", base)
            : IsAbsolute(configured) ? snprintf(folder, folderSize, "%s", configured)
                                     : snprintf(folder, folderSize, "%s%s", base, configured);
    if (n < 0 || size_t(n) >= folderSize) {
        folder[0] = 0;
        return 0;
    }
    char pattern[MAX_PATH + 8], path[MAX_PATH + 16];
    snprintf(pattern, sizeof pattern, "%s\\*.ini", folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int files = 0;
    do {
        if (!IsTransponderFileName(found.cFileName)) continue;
        snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName);
        if (ReadSkyFile(path, uint32_t(PositionKeyFromFileName(found.cFileName)), sky)) ++files;
    } while (sky->satelliteCount < SATELLITE_FILES_MAX && FindNextFileA(search, &found));
    FindClose(search);
    return files;
}
