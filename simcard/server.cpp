// The in-process server around the simulated card: the four exports, the class
// factory, and the registry entries that let CoCreateInstance find the card
// under the source filter's CLSID, as it finds the real driver.
#include "simcard/simcard.h"
#include <olectl.h>
#include <cstring>

HMODULE SimModule;
ULONGLONG SimLoadTick;
volatile LONG SimObjectCount;
volatile LONG SimLockCount;

constexpr char CLASS_KEY[] = "CLSID\\{E82536A0-94DA-11D2-A463-00A0C95D308D}";
constexpr char SERVER_KEY[] = "CLSID\\{E82536A0-94DA-11D2-A463-00A0C95D308D}\\InprocServer32";
constexpr char CLASS_NAME[] = "B2C2 MPEG-2 Source (simulated card)";
constexpr char THREADING_MODEL[] = "Both";

// ---- the class factory: one static object, its references lock the server ----

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** object);

static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory*) {
    uint32_t ms = SimNow();
    ULONG count = ULONG(InterlockedIncrement(&SimLockCount));
    SimLog(ms, "Factory.AddRef -> %lu", (unsigned long)count);
    return count;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory*) {
    uint32_t ms = SimNow();
    ULONG count = ULONG(InterlockedDecrement(&SimLockCount));
    SimLog(ms, "Factory.Release -> %lu", (unsigned long)count);
    return count;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory*, IUnknown* outer, REFIID iid, void** object) {
    uint32_t ms = SimNow();
    HRESULT result;
    if (!object) {
        result = E_POINTER;
    } else if (outer) {
        *object = nullptr;
        result = CLASS_E_NOAGGREGATION;
    } else {
        result = CreateSimCard(iid, object);
    }
    char text[GUID_TEXT_SIZE];
    FormatGuid(iid, text);
    SimLog(ms, "CreateInstance %s -> 0x%08lX", text, (unsigned long)result);
    return result;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory*, BOOL lock) {
    uint32_t ms = SimNow();
    if (lock)
        InterlockedIncrement(&SimLockCount);
    else
        InterlockedDecrement(&SimLockCount);
    SimLog(ms, "LockServer %d -> 0x%08lX", lock ? 1 : 0, (unsigned long)S_OK);
    return S_OK;
}

static const IClassFactoryVtbl FACTORY_VTBL = {
    FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance, FactoryLockServer,
};
static IClassFactory factory = {const_cast<IClassFactoryVtbl*>(&FACTORY_VTBL)};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** object) {
    uint32_t ms = SimNow();
    HRESULT result = E_NOINTERFACE;
    if (!object) {
        result = E_POINTER;
    } else if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
        *object = self;
        InterlockedIncrement(&SimLockCount);
        result = S_OK;
    } else {
        *object = nullptr;
    }
    char text[GUID_TEXT_SIZE];
    FormatGuid(iid, text);
    SimLog(ms, "Factory.QueryInterface %s -> 0x%08lX", text, (unsigned long)result);
    return result;
}

// ---- the exports ----------------------------------------------------------------

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SimModule = instance;
        SimLoadTick = GetTickCount64();
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    uint32_t ms = SimNow();
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
    SimLog(ms, "DllGetClassObject %s %s -> 0x%08lX", classText, interfaceText, (unsigned long)result);
    return result;
}

STDAPI DllCanUnloadNow() {
    HRESULT result = (SimObjectCount == 0 && SimLockCount == 0) ? S_OK : S_FALSE;
    SimLog(SimNow(), "DllCanUnloadNow objects=%ld locks=%ld -> 0x%08lX", (long)SimObjectCount,
           (long)SimLockCount, (unsigned long)result);
    return result;
}

static bool SetStringValue(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(strlen(value) + 1)) ==
           ERROR_SUCCESS;
}

STDAPI DllRegisterServer() {
    uint32_t ms = SimNow();
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(SimModule, path, sizeof path);
    HRESULT result = SELFREG_E_CLASS;
    HKEY classKey, serverKey;
    if (length > 0 && length < sizeof path &&
        RegCreateKeyExA(HKEY_CLASSES_ROOT, CLASS_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr) ==
            ERROR_SUCCESS) {
        bool named = SetStringValue(classKey, nullptr, CLASS_NAME);
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, SERVER_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey,
                            nullptr) == ERROR_SUCCESS) {
            if (named && SetStringValue(serverKey, nullptr, path) &&
                SetStringValue(serverKey, "ThreadingModel", THREADING_MODEL))
                result = S_OK;
            RegCloseKey(serverKey);
        }
        RegCloseKey(classKey);
    }
    SimLog(ms, "DllRegisterServer %s -> 0x%08lX", length < sizeof path ? path : "", (unsigned long)result);
    return result;
}

// Removes the entries; a CLSID that names some other server (the real driver,
// say) is left alone.
STDAPI DllUnregisterServer() {
    uint32_t ms = SimNow();
    char ours[MAX_PATH], registered[MAX_PATH];
    DWORD length = GetModuleFileNameA(SimModule, ours, sizeof ours);
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
    SimLog(ms, "DllUnregisterServer -> 0x%08lX", (unsigned long)result);
    return result;
}
