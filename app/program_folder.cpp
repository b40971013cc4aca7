// The program's own folder as the current directory: every file the program
// opens by a relative name (settings, skin, transponder files, signal log)
// lies beside the exe. The user guide lies there too.
#include "app/app.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The folder of the running exe, without a trailing backslash.
static int ProgramFolder(char* path, DWORD size) {
    DWORD length = GetModuleFileNameA(nullptr, path, size);
    if (length == 0) return 1;
    if (length >= size) length = size - 1;
    path[length] = 0;
    char* slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    return 0;
}

int SetProgramFolderAsWorkingDirectory() {
    char path[512];
    if (ProgramFolder(path, sizeof path)) return 1;
    char* folder = _strdup(path);
    if (!folder) return 1;
    SetCurrentDirectoryA(folder);
    free(folder);
    return 0;
}

int UserGuidePath(char* path, size_t size) {
    char folder[512];
    if (ProgramFolder(folder, sizeof folder)) return 1;
    int length = snprintf(path, size, "%s\\%s", folder, USER_GUIDE_FILE);
    return length < 0 || (size_t)length >= size;
}
