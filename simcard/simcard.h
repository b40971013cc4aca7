#pragma once
// Inside the simulated card: what its files share. The COM interfaces are used
// in their C form (an explicit lpVtbl), the same way the tuner interface is
// written, so every object here is a plain struct with a table of functions.
#ifndef CINTERFACE
#define CINTERFACE
#endif
#include <windows.h>
#include <unknwn.h>
#include <strmif.h>
#include <cstdint>
#include "simcard/scenario.h"
#include "tuner/tuner_control.h"

// This DLL, and when it was loaded: the log's clock starts there.
extern HMODULE SimModule;
extern ULONGLONG SimLoadTick;

// Live cards and server locks (class factory references and LockServer):
// the DLL may unload only when both are 0.
extern volatile LONG SimObjectCount;
extern volatile LONG SimLockCount;

// Milliseconds since the DLL was loaded.
uint32_t SimNow();

// One line of the call log: "<ms> tid=<id> " + the formatted text + "\n".
// ms is taken by the caller, at the start of the call.
void SimLog(uint32_t ms, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A GUID as the registry writes it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
constexpr int GUID_TEXT_SIZE = 39;
void FormatGuid(const GUID& guid, char* text);

// A path beside this DLL, or the one an environment variable names.
void SimFilePath(const char* variable, const char* defaultName, char* path, DWORD size);

// A new card with its scenario loaded, one reference held by the caller.
HRESULT CreateSimCard(REFIID iid, void** object);
