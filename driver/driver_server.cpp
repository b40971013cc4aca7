// The in-process server around a card driver object: the four exports, the
// class factory, and the registry entries that let CoCreateInstance find it
// under the source filter's CLSID, as it finds the real driver; and the
// object's identity, its lifetime and its filter interface.
#include "driver/driver_server.h"
#include <cstdio>
#include <olectl.h>
#include <cstddef>
#include <cstring>

HMODULE DriverModule;
ULONGLONG DriverLoadTick;
volatile LONG DriverObjectCount;
volatile LONG DriverLockCount;

constexpr char CLASS_KEY[] = "CLSID\\{E82536A0-94DA-11D2-A463-00A0C95D308D}";
constexpr char SERVER_KEY[] = "CLSID\\{E82536A0-94DA-11D2-A463-00A0C95D308D}\\InprocServer32";
constexpr char THREADING_MODEL[] = "Both";

uint32_t DriverNow() { return uint32_t(GetTickCount64() - DriverLoadTick); }

void FormatGuid(const GUID& guid, char* text) {
    snprintf(text, GUID_TEXT_SIZE, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)guid.Data1,
             guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

// ---- the object: identity and lifetime, shared by both interfaces ------------

static DriverObject* ObjectOfFilter(IBaseFilter* filter) { return reinterpret_cast<DriverObject*>(filter); }
DriverObject* ObjectOfTuner(TunerControl* tuner) {
    return reinterpret_cast<DriverObject*>(reinterpret_cast<char*>(tuner) - offsetof(DriverObject, tuner));
}

static const char* InterfaceName(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown)) return "IUnknown";
    if (IsEqualGUID(iid, IID_IPersist)) return "IPersist";
    if (IsEqualGUID(iid, IID_IMediaFilter)) return "IMediaFilter";
    if (IsEqualGUID(iid, IID_IBaseFilter)) return "IBaseFilter";
    if (IsEqualGUID(iid, IID_TunerControl)) return "TunerControl";
    if (IsEqualGUID(iid, IID_IClassFactory)) return "IClassFactory";
    return "other";
}

static ULONG AddCardReference(DriverObject* card) { return ULONG(InterlockedIncrement(&card->references)); }

static ULONG ReleaseCard(DriverObject* card) {
    LONG left = InterlockedDecrement(&card->references);
    if (left == 0) {
        card->destroy(card);
        InterlockedDecrement(&DriverObjectCount);
    }
    return ULONG(left);
}

static HRESULT QueryCard(DriverObject* card, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPersist) || IsEqualGUID(iid, IID_IMediaFilter) ||
        IsEqualGUID(iid, IID_IBaseFilter))
        *object = &card->filter;
    else if (IsEqualGUID(iid, IID_TunerControl))
        *object = &card->tuner;
    else
        return E_NOINTERFACE;
    AddCardReference(card);
    return S_OK;
}

static void LogQuery(uint32_t ms, const char* method, REFIID iid, HRESULT result) {
    char text[GUID_TEXT_SIZE];
    FormatGuid(iid, text);
    DriverLog(ms, "%s %s %s -> 0x%08lX", method, text, InterfaceName(iid), (unsigned long)result);
}

// ---- the filter: enough to be created, queried and handed around -------------

static HRESULT STDMETHODCALLTYPE FilterQueryInterface(IBaseFilter* self, REFIID iid, void** object) {
    uint32_t ms = DriverNow();
    HRESULT result = QueryCard(ObjectOfFilter(self), iid, object);
    LogQuery(ms, "Filter.QueryInterface", iid, result);
    return result;
}

static ULONG STDMETHODCALLTYPE FilterAddRef(IBaseFilter* self) {
    uint32_t ms = DriverNow();
    ULONG count = AddCardReference(ObjectOfFilter(self));
    DriverLog(ms, "Filter.AddRef -> %lu", (unsigned long)count);
    return count;
}

static ULONG STDMETHODCALLTYPE FilterRelease(IBaseFilter* self) {
    uint32_t ms = DriverNow();
    ULONG count = ReleaseCard(ObjectOfFilter(self));
    DriverLog(ms, "Filter.Release -> %lu", (unsigned long)count);
    return count;
}

static HRESULT LogFilterCall(const char* method, HRESULT result) {
    DriverLog(DriverNow(), "Filter.%s -> 0x%08lX", method, (unsigned long)result);
    return result;
}

static HRESULT STDMETHODCALLTYPE FilterGetClassID(IBaseFilter*, CLSID* clsid) {
    if (!clsid) return LogFilterCall("GetClassID", E_POINTER);
    *clsid = CLSID_B2C2SourceFilter;
    return LogFilterCall("GetClassID", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterStop(IBaseFilter*) { return LogFilterCall("Stop", S_OK); }
static HRESULT STDMETHODCALLTYPE FilterPause(IBaseFilter*) { return LogFilterCall("Pause", S_OK); }
static HRESULT STDMETHODCALLTYPE FilterRun(IBaseFilter*, REFERENCE_TIME) { return LogFilterCall("Run", S_OK); }

static HRESULT STDMETHODCALLTYPE FilterGetState(IBaseFilter*, DWORD, FILTER_STATE* state) {
    if (!state) return LogFilterCall("GetState", E_POINTER);
    *state = State_Stopped;
    return LogFilterCall("GetState", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterSetSyncSource(IBaseFilter*, IReferenceClock*) {
    return LogFilterCall("SetSyncSource", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterGetSyncSource(IBaseFilter*, IReferenceClock** clock) {
    if (!clock) return LogFilterCall("GetSyncSource", E_POINTER);
    *clock = nullptr;
    return LogFilterCall("GetSyncSource", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterEnumPins(IBaseFilter*, IEnumPins** pins) {
    if (pins) *pins = nullptr;
    return LogFilterCall("EnumPins", E_NOTIMPL);
}

static HRESULT STDMETHODCALLTYPE FilterFindPin(IBaseFilter*, LPCWSTR, IPin** pin) {
    if (pin) *pin = nullptr;
    return LogFilterCall("FindPin", E_NOTIMPL);
}

static HRESULT STDMETHODCALLTYPE FilterQueryFilterInfo(IBaseFilter*, FILTER_INFO* info) {
    if (!info) return LogFilterCall("QueryFilterInfo", E_POINTER);
    memset(info, 0, sizeof *info);
    lstrcpynW(info->achName, DRIVER_FILTER_NAME, MAX_FILTER_NAME);
    return LogFilterCall("QueryFilterInfo", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterJoinFilterGraph(IBaseFilter*, IFilterGraph*, LPCWSTR) {
    return LogFilterCall("JoinFilterGraph", S_OK);
}

static HRESULT STDMETHODCALLTYPE FilterQueryVendorInfo(IBaseFilter*, LPWSTR* info) {
    if (info) *info = nullptr;
    return LogFilterCall("QueryVendorInfo", E_NOTIMPL);
}

static const IBaseFilterVtbl FILTER_VTBL = {
    FilterQueryInterface, FilterAddRef,  FilterRelease,         FilterGetClassID,      FilterStop,
    FilterPause,          FilterRun,     FilterGetState,        FilterSetSyncSource,   FilterGetSyncSource,
    FilterEnumPins,       FilterFindPin, FilterQueryFilterInfo, FilterJoinFilterGraph, FilterQueryVendorInfo,
};

void InitDriverObject(DriverObject* object, void (*destroy)(DriverObject*)) {
    object->filter.lpVtbl = const_cast<IBaseFilterVtbl*>(&FILTER_VTBL);
    object->references = 1;
    object->destroy = destroy;
    InterlockedIncrement(&DriverObjectCount);
}

HRESULT HandOverDriverObject(DriverObject* object, REFIID iid, void** result) {
    HRESULT answer = QueryCard(object, iid, result);
    ReleaseCard(object);  // the caller's reference is the one QueryCard took
    return answer;
}

// ---- the tuner interface's identity --------------------------------------------

HRESULT STDMETHODCALLTYPE DriverTunerQueryInterface(TunerControl* self, REFIID iid, void** object) {
    uint32_t ms = DriverNow();
    HRESULT result = QueryCard(ObjectOfTuner(self), iid, object);
    LogQuery(ms, "QueryInterface", iid, result);
    return result;
}

ULONG STDMETHODCALLTYPE DriverTunerAddRef(TunerControl* self) {
    uint32_t ms = DriverNow();
    ULONG count = AddCardReference(ObjectOfTuner(self));
    DriverLog(ms, "AddRef -> %lu", (unsigned long)count);
    return count;
}

ULONG STDMETHODCALLTYPE DriverTunerRelease(TunerControl* self) {
    uint32_t ms = DriverNow();
    ULONG count = ReleaseCard(ObjectOfTuner(self));
    DriverLog(ms, "Release -> %lu", (unsigned long)count);
    return count;
}

// ---- the class factory: one static object, its references lock the server ----

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** object);

static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory*) {
    uint32_t ms = DriverNow();
    ULONG count = ULONG(InterlockedIncrement(&DriverLockCount));
    DriverLog(ms, "Factory.AddRef -> %lu", (unsigned long)count);
    return count;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory*) {
    uint32_t ms = DriverNow();
    ULONG count = ULONG(InterlockedDecrement(&DriverLockCount));
    DriverLog(ms, "Factory.Release -> %lu", (unsigned long)count);
    return count;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory*, IUnknown* outer, REFIID iid, void** object) {
    uint32_t ms = DriverNow();
    HRESULT result;
    if (!object) {
        result = E_POINTER;
    } else if (outer) {
        *object = nullptr;
        result = CLASS_E_NOAGGREGATION;
    } else {
        result = CreateDriverObject(iid, object);
    }
    char text[GUID_TEXT_SIZE];
    FormatGuid(iid, text);
    DriverLog(ms, "CreateInstance %s -> 0x%08lX", text, (unsigned long)result);
    return result;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory*, BOOL lock) {
    uint32_t ms = DriverNow();
    if (lock)
        InterlockedIncrement(&DriverLockCount);
    else
        InterlockedDecrement(&DriverLockCount);
    DriverLog(ms, "LockServer %d -> 0x%08lX", lock ? 1 : 0, (unsigned long)S_OK);
    return S_OK;
}

static const IClassFactoryVtbl FACTORY_VTBL = {
    FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance, FactoryLockServer,
};
static IClassFactory factory = {const_cast<IClassFactoryVtbl*>(&FACTORY_VTBL)};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** object) {
    uint32_t ms = DriverNow();
    HRESULT result = E_NOINTERFACE;
    if (!object) {
        result = E_POINTER;
    } else if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
        *object = self;
        InterlockedIncrement(&DriverLockCount);
        result = S_OK;
    } else {
        *object = nullptr;
    }
    char text[GUID_TEXT_SIZE];
    FormatGuid(iid, text);
    DriverLog(ms, "Factory.QueryInterface %s -> 0x%08lX", text, (unsigned long)result);
    return result;
}

// ---- the exports ----------------------------------------------------------------

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DriverModule = instance;
        DriverLoadTick = GetTickCount64();
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    uint32_t ms = DriverNow();
    HRESULT result;
    if (!object) {
        result = E_POINTER;
    } else if (!IsEqualGUID(clsid, CLSID_B2C2SourceFilter)) {
        *object = nullptr;
        result = CLASS_E_CLASSNOTAVAILABLE;
    } else {
        result = FactoryQueryInterface(&factory, iid, object);
    }
    char classText[GUID_TEXT_SIZE], interfaceText[GUID_TEXT_SIZE];
    FormatGuid(clsid, classText);
    FormatGuid(iid, interfaceText);
    DriverLog(ms, "DllGetClassObject %s %s -> 0x%08lX", classText, interfaceText, (unsigned long)result);
    return result;
}

STDAPI DllCanUnloadNow() {
    HRESULT result = (DriverObjectCount == 0 && DriverLockCount == 0) ? S_OK : S_FALSE;
    DriverLog(DriverNow(), "DllCanUnloadNow objects=%ld locks=%ld -> 0x%08lX", (long)DriverObjectCount,
              (long)DriverLockCount, (unsigned long)result);
    return result;
}

static bool SetStringValue(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(strlen(value) + 1)) ==
           ERROR_SUCCESS;
}

STDAPI DllRegisterServer() {
    uint32_t ms = DriverNow();
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(DriverModule, path, sizeof path);
    HRESULT result = SELFREG_E_CLASS;
    HKEY classKey, serverKey;
    if (length > 0 && length < sizeof path &&
        RegCreateKeyExA(HKEY_CLASSES_ROOT, CLASS_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr) ==
            ERROR_SUCCESS) {
        bool named = SetStringValue(classKey, nullptr, DRIVER_CLASS_NAME);
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, SERVER_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr) ==
            ERROR_SUCCESS) {
            if (named && SetStringValue(serverKey, nullptr, path) &&
                SetStringValue(serverKey, "ThreadingModel", THREADING_MODEL))
                result = S_OK;
            RegCloseKey(serverKey);
        }
        RegCloseKey(classKey);
    }
    DriverLog(ms, "DllRegisterServer %s -> 0x%08lX", length < sizeof path ? path : "", (unsigned long)result);
    return result;
}

// Removes the entries; a CLSID that names some other server (the real driver,
// say) is left alone.
STDAPI DllUnregisterServer() {
    uint32_t ms = DriverNow();
    char ours[MAX_PATH], registered[MAX_PATH];
    DWORD length = GetModuleFileNameA(DriverModule, ours, sizeof ours);
    LONG size = sizeof registered;
    HRESULT result = S_OK;
    LONG found = RegQueryValueA(HKEY_CLASSES_ROOT, SERVER_KEY, registered, &size);
    if (found == ERROR_SUCCESS && length > 0 && length < sizeof ours && lstrcmpiA(ours, registered) != 0) {
        result = S_FALSE;
    } else if (found == ERROR_SUCCESS) {
        if (RegDeleteKeyA(HKEY_CLASSES_ROOT, SERVER_KEY) != ERROR_SUCCESS ||
            RegDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY) != ERROR_SUCCESS)
            result = SELFREG_E_CLASS;
    }
    DriverLog(ms, "DllUnregisterServer -> 0x%08lX", (unsigned long)result);
    return result;
}
