// What the transponder lists offer the main window and start-up.
#pragma once
#include <windows.h>

int ListSatellites();
int LoadTransponderList();
int SelectSatellite();
int AddTransponder();
int RemoveTransponder();
int SaveTransponderList();

// Within this subsystem: the whole file in one heap block with a zero after
// it (free with HeapFree); nullptr when it cannot be read.
char* ReadWholeFile(HANDLE file, DWORD* size);
