#pragma once
// Filling the sky from a folder of transponder files, as the card and
// dishsim.exe both do. Win32 underneath; the reading rules are in sky.h.
#include <cstddef>
#include "simcard/sky.h"

// configured: the [dish] section's sky= folder; empty means the Transponders
// folder beside the exe of this process, and a relative one is taken from
// there too. Writes the folder used; returns the number of files read.
int LoadSkyFolder(const char* configured, Sky* sky, char* folder, size_t folderSize);
