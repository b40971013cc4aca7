// The bridge as the program sees it: the card driver's source filter and its
// tuner interface. The setters keep the burst; SetDiseqc, its last call,
// hands the whole tune to the session thread. The poller's calls answer at
// once from the last status. No call fails for a network fault: the program
// would blame the card for it.
#include "satip/satip.h"
#include "driver/phone_server.h"
#include "driver/satellite_choice.h"
#include <cstdio>
#include <cstdlib>
#include <new>

const char DRIVER_CLASS_NAME[] = "B2C2 MPEG-2 Source (SAT>IP tuner)";
const wchar_t DRIVER_FILTER_NAME[] = L"B2C2 MPEG-2 Source (SAT>IP tuner)";
constexpr DWORD INI_FILE_MAX = 64 * 1024;

static Bridge* BridgeOf(TunerControl* tuner) { return reinterpret_cast<Bridge*>(ObjectOfTuner(tuner)); }

static HRESULT STDMETHODCALLTYPE SetSymbolRate(TunerControl* self, uint32_t kiloSymbols) {
    BridgeOf(self)->symbolRate = kiloSymbols;
    return S_OK;
}
// The LNB is the server's: its tone and oscillator follow from the frequency.
static HRESULT STDMETHODCALLTYPE SetLnbFrequency(TunerControl*, uint32_t) { return S_OK; }
static HRESULT STDMETHODCALLTYPE SetLnbTone(TunerControl*, uint32_t) { return S_OK; }
static HRESULT STDMETHODCALLTYPE SetDeviceMode(TunerControl*, uint32_t mode) {
    BridgeLog("SetDeviceMode %lu -> 0x%08lX", (unsigned long)mode, (unsigned long)S_OK);
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE SetPolarization(TunerControl* self, uint32_t polarization) {
    BridgeOf(self)->polarization = polarization;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE SetFrequency(TunerControl* self, uint32_t kiloHertz) {
    BridgeOf(self)->frequency = kiloHertz;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE SetDiseqc(TunerControl* self, uint32_t diseqc) {
    Bridge* bridge = BridgeOf(self);
    SatipTune tune = TuneFromBurst(diseqc, bridge->polarization, bridge->symbolRate, bridge->frequency, SATIP_DVBS2);
    AcquireSRWLockExclusive(&bridge->tuneLock);
    bridge->tune = tune;
    ReleaseSRWLockExclusive(&bridge->tuneLock);
    bridge->chosenKey.store(ReadChosenSatellite());  // here, on the thread that owns the program's list
    bridge->status.store(PackStatus(0, 0, 0));       // nothing is known of the new transponder yet
    bridge->lastPoll.store(DriverNow());
    bridge->generation.fetch_add(1, std::memory_order_release);
    PhoneNoteTune(bridge->frequency, bridge->polarization, bridge->symbolRate);
    return S_OK;
}

// The server is found and asked once here; without one the program ends
// quietly, as it does without a driver, after the bridge's own box.
static HRESULT STDMETHODCALLTYPE Initialize(TunerControl* self) {
    Bridge* bridge = BridgeOf(self);
    HRESULT result = bridge->thread ? S_OK : FindServer(&bridge->server) && StartSession(bridge) ? S_OK : E_FAIL;
    BridgeLog("Initialize %s -> 0x%08lX", bridge->server.name, (unsigned long)result);
    return result;
}

// With SATIPCARD_LOG_POLLS set, a "GetSignalPercent" line for each of the
// program's polls: the tests measure the poll's period from them.
static bool LogPolls() {
    static const bool on = GetEnvironmentVariableA("SATIPCARD_LOG_POLLS", nullptr, 0) > 0;
    return on;
}

static uint32_t Poll(TunerControl* self) {
    Bridge* bridge = BridgeOf(self);
    bridge->lastPoll.store(DriverNow());
    return bridge->status.load();
}

static HRESULT STDMETHODCALLTYPE CheckLock(TunerControl* self) {
    if (StatusLock(Poll(self))) return S_OK;
    PhoneNoteLockFailed();
    return E_FAIL;
}
static HRESULT STDMETHODCALLTYPE UpdateStatus(TunerControl* self) {
    Poll(self);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE GetSignalPercent(TunerControl* self, unsigned* percent) {
    if (!percent) return E_POINTER;
    if (LogPolls()) BridgeLog("GetSignalPercent");
    *percent = StatusLevel(Poll(self));  // the tuner's level, locked or not: the dish's aim shows in it
    PhoneNotePercent(*percent);
    return S_OK;
}

// The quality 0..15 as the server gives it: a figure, not dB.
static HRESULT STDMETHODCALLTYPE GetSignalToNoise(TunerControl* self, float* snr) {
    if (!snr) return E_POINTER;
    *snr = float(StatusQuality(Poll(self)));
    PhoneNoteSnr(*snr, 15.0f);  // the quality's top
    return S_OK;
}

DRIVER_TUNER_VTBL(TUNER_VTBL);

// The session thread may still hold the bridge when it does not end in
// time: the memory is then left to it.
static void DestroyBridge(DriverObject* object) {
    Bridge* bridge = reinterpret_cast<Bridge*>(object);
    if (bridge->phone) StopPhoneServer();
    if (StopSession(bridge)) delete bridge;
}

HRESULT CreateDriverObject(REFIID iid, void** object) {
    Bridge* bridge = new (std::nothrow) Bridge();
    if (!bridge) return E_OUTOFMEMORY;
    InitDriverObject(&bridge->object, DestroyBridge);
    bridge->object.tuner.lpVtbl = &TUNER_VTBL;
    InitializeSRWLock(&bridge->tuneLock);
    // satipcard.ini's [phone] section starts the page, once per process.
    char path[MAX_PATH];
    DWORD length;
    HRESULT read;
    if (char* ini = ReadDriverFile(nullptr, "satipcard.ini", INI_FILE_MAX, path, sizeof path, &length, &read)) {
        bridge->phone = StartPhoneServer(ini, length);
        free(ini);
    }
    return HandOverDriverObject(&bridge->object, iid, object);
}
