#pragma once
// What every card driver DLL of the project shares: the four COM exports, the
// class factory, the registry entries under the source filter's CLSID, and
// the object that is both the source filter and its tuner interface. The
// simulated card and the SAT>IP bridge each supply the tuner's own calls and
// the few definitions declared at the end.
#ifndef CINTERFACE
#define CINTERFACE
#endif
#include <windows.h>
#include <unknwn.h>
#include <strmif.h>
#include <cstdint>
#include "tuner/tuner_control.h"

// This DLL, and when it was loaded: the log's clock starts there.
extern HMODULE DriverModule;
extern ULONGLONG DriverLoadTick;

// Live objects and server locks (class factory references and LockServer):
// the DLL may unload only when both are 0.
extern volatile LONG DriverObjectCount;
extern volatile LONG DriverLockCount;

// Milliseconds since the DLL was loaded.
uint32_t DriverNow();

// A GUID as the registry writes it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
constexpr int GUID_TEXT_SIZE = 39;
void FormatGuid(const GUID& guid, char* text);

// The filter and its tuner interface in one object: IUnknown is the filter.
// destroy frees the whole object when the last reference goes.
struct DriverObject {
    IBaseFilter filter;
    TunerControl tuner;
    volatile LONG references;
    void (*destroy)(DriverObject* object);
};

DriverObject* ObjectOfTuner(TunerControl* tuner);

// Sets up the two tables and one reference; counts the object as live.
void InitDriverObject(DriverObject* object, void (*destroy)(DriverObject*));
// The caller's reference: the one that QueryInterface takes, or none.
HRESULT HandOverDriverObject(DriverObject* object, REFIID iid, void** result);

HRESULT STDMETHODCALLTYPE DriverTunerQueryInterface(TunerControl* self, REFIID iid, void** object);
ULONG STDMETHODCALLTYPE DriverTunerAddRef(TunerControl* self);
ULONG STDMETHODCALLTYPE DriverTunerRelease(TunerControl* self);

// The driver's slots that the program never calls: each still answers
// E_NOTIMPL and says in the log which slot was asked.
template <int SLOT>
HRESULT STDMETHODCALLTYPE UnusedTunerSlot(TunerControl*);

// The 37-slot table of a file that defines the tuner calls under these names.
#define DRIVER_UNUSED_SLOT(n) .unused##n = reinterpret_cast<void*>(&UnusedTunerSlot<n>)
#define DRIVER_TUNER_VTBL(table)                     \
    static const TunerControlVtbl table = {          \
        .QueryInterface = DriverTunerQueryInterface, \
        .AddRef = DriverTunerAddRef,                 \
        .Release = DriverTunerRelease,               \
        DRIVER_UNUSED_SLOT(3),                       \
        .SetSymbolRate = SetSymbolRate,              \
        .SetLnbFrequency = SetLnbFrequency,          \
        .SetDeviceMode = SetDeviceMode,              \
        .SetPolarization = SetPolarization,          \
        .SetLnbTone = SetLnbTone,                    \
        .SetDiseqc = SetDiseqc,                      \
        DRIVER_UNUSED_SLOT(10),                      \
        .Initialize = Initialize,                    \
        .CheckLock = CheckLock,                      \
        .UpdateStatus = UpdateStatus,                \
        DRIVER_UNUSED_SLOT(14),                      \
        DRIVER_UNUSED_SLOT(15),                      \
        DRIVER_UNUSED_SLOT(16),                      \
        DRIVER_UNUSED_SLOT(17),                      \
        DRIVER_UNUSED_SLOT(18),                      \
        DRIVER_UNUSED_SLOT(19),                      \
        .GetSignalToNoise = GetSignalToNoise,        \
        DRIVER_UNUSED_SLOT(21),                      \
        DRIVER_UNUSED_SLOT(22),                      \
        DRIVER_UNUSED_SLOT(23),                      \
        DRIVER_UNUSED_SLOT(24),                      \
        DRIVER_UNUSED_SLOT(25),                      \
        DRIVER_UNUSED_SLOT(26),                      \
        .SetFrequency = SetFrequency,                \
        DRIVER_UNUSED_SLOT(28),                      \
        DRIVER_UNUSED_SLOT(29),                      \
        DRIVER_UNUSED_SLOT(30),                      \
        DRIVER_UNUSED_SLOT(31),                      \
        DRIVER_UNUSED_SLOT(32),                      \
        DRIVER_UNUSED_SLOT(33),                      \
        DRIVER_UNUSED_SLOT(34),                      \
        DRIVER_UNUSED_SLOT(35),                      \
        .GetSignalPercent = GetSignalPercent,        \
    }

// ---- what each driver DLL defines ----------------------------------------------

// The caption of the driver's boxes.
extern const char DRIVER_BOX_CAPTION[];
// The registry's name of the class and the filter's own name.
extern const char DRIVER_CLASS_NAME[];
extern const wchar_t DRIVER_FILTER_NAME[];

// A new object, one reference held by the caller.
HRESULT CreateDriverObject(REFIID iid, void** object);

// One line of the DLL's log; ms is taken by the caller, at the start of the call.
void DriverLog(uint32_t ms, const char* format, ...) __attribute__((format(printf, 2, 3)));

template <int SLOT>
HRESULT STDMETHODCALLTYPE UnusedTunerSlot(TunerControl*) {
    DriverLog(DriverNow(), "Slot%d -> 0x%08lX", SLOT, (unsigned long)E_NOTIMPL);
    return E_NOTIMPL;
}
