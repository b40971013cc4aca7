// The program's own folder as the current directory: every file the program
// opens by a relative name (settings, skin, transponder files, signal log)
// lies beside the exe.
#include "app/app.h"
#include <cstdlib>
#include <cstring>

int SetProgramFolderAsWorkingDirectory() {
    char path[512];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0) return 1;
    if (length >= sizeof path) length = sizeof path - 1;
    path[length] = 0;
    char* slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    char* folder = _strdup(path);
    if (!folder) return 1;
    SetCurrentDirectoryA(folder);
    free(folder);
    return 0;
}
