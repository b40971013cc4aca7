// The simulated card: one object that is both the source filter and its tuner
// interface. Every call is logged; the scenario decides what the card reports
// and which calls fail or take their time.
#include "simcard/simcard.h"
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// The largest scenario file read; the rest of a bigger one is ignored.
constexpr DWORD SCENARIO_FILE_MAX = 64 * 1024;
constexpr wchar_t FILTER_NAME[] = L"B2C2 MPEG-2 Source (simulated card)";

struct SimCard {
    IBaseFilter filter;  // the card's identity: IUnknown is this pointer
    TunerControl tuner;
    volatile LONG references;
    Scenario scenario;
    // What the program asked for; the virtual dish judges these.
    uint32_t initialized, deviceMode, symbolRate, lnbFrequency, polarization, lnbTone, diseqc, frequency;
    // Tuned once SetFrequency succeeded; the signal's clock starts then.
    std::atomic<uint32_t> tuned;
    std::atomic<uint32_t> tunedAt;
    DishCard dish;  // used when the scenario has a [dish] section
};

static SimCard* CardOfFilter(IBaseFilter* filter) { return reinterpret_cast<SimCard*>(filter); }
static SimCard* CardOfTuner(TunerControl* tuner) {
    return reinterpret_cast<SimCard*>(reinterpret_cast<char*>(tuner) - offsetof(SimCard, tuner));
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

// ---- identity and lifetime, shared by both interfaces -------------------------

static ULONG AddCardReference(SimCard* card) { return ULONG(InterlockedIncrement(&card->references)); }

static ULONG ReleaseCard(SimCard* card) {
    LONG left = InterlockedDecrement(&card->references);
    if (left == 0) {
        FreeDishCard(&card->dish);
        delete card;
        InterlockedDecrement(&SimObjectCount);
    }
    return ULONG(left);
}

static HRESULT QueryCard(SimCard* card, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPersist) ||
        IsEqualGUID(iid, IID_IMediaFilter) || IsEqualGUID(iid, IID_IBaseFilter))
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
    SimLog(ms, "%s %s %s -> 0x%08lX", method, text, InterfaceName(iid), (unsigned long)result);
}

// ---- the filter: enough to be created, queried and handed around -------------

static HRESULT STDMETHODCALLTYPE FilterQueryInterface(IBaseFilter* self, REFIID iid, void** object) {
    uint32_t ms = SimNow();
    HRESULT result = QueryCard(CardOfFilter(self), iid, object);
    LogQuery(ms, "Filter.QueryInterface", iid, result);
    return result;
}

static ULONG STDMETHODCALLTYPE FilterAddRef(IBaseFilter* self) {
    uint32_t ms = SimNow();
    ULONG count = AddCardReference(CardOfFilter(self));
    SimLog(ms, "Filter.AddRef -> %lu", (unsigned long)count);
    return count;
}

static ULONG STDMETHODCALLTYPE FilterRelease(IBaseFilter* self) {
    uint32_t ms = SimNow();
    ULONG count = ReleaseCard(CardOfFilter(self));
    SimLog(ms, "Filter.Release -> %lu", (unsigned long)count);
    return count;
}

static HRESULT LogFilterCall(const char* method, HRESULT result) {
    SimLog(SimNow(), "Filter.%s -> 0x%08lX", method, (unsigned long)result);
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
    memcpy(info->achName, FILTER_NAME, sizeof FILTER_NAME);
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
    FilterQueryInterface, FilterAddRef,          FilterRelease,       FilterGetClassID,
    FilterStop,           FilterPause,           FilterRun,           FilterGetState,
    FilterSetSyncSource,  FilterGetSyncSource,   FilterEnumPins,      FilterFindPin,
    FilterQueryFilterInfo, FilterJoinFilterGraph, FilterQueryVendorInfo,
};

// ---- the tuner interface ------------------------------------------------------

static HRESULT STDMETHODCALLTYPE TunerQueryInterface(TunerControl* self, REFIID iid, void** object) {
    uint32_t ms = SimNow();
    HRESULT result = QueryCard(CardOfTuner(self), iid, object);
    LogQuery(ms, "QueryInterface", iid, result);
    return result;
}

static ULONG STDMETHODCALLTYPE TunerAddRef(TunerControl* self) {
    uint32_t ms = SimNow();
    ULONG count = AddCardReference(CardOfTuner(self));
    SimLog(ms, "AddRef -> %lu", (unsigned long)count);
    return count;
}

static ULONG STDMETHODCALLTYPE TunerRelease(TunerControl* self) {
    uint32_t ms = SimNow();
    ULONG count = ReleaseCard(CardOfTuner(self));
    SimLog(ms, "Release -> %lu", (unsigned long)count);
    return count;
}

// The start of a tuner call: its time is taken before the scenario's latency,
// so the log says when the program asked, not when the card answered.
struct TunerCall {
    SimCard* card;
    SimMethod method;
    uint32_t ms;
};

static TunerCall BeginCall(TunerControl* self, SimMethod method) {
    TunerCall call = {CardOfTuner(self), method, SimNow()};
    SimProbe(call.ms);
    uint32_t latency = call.card->scenario.latencyMs[method];
    if (latency) Sleep(latency);
    return call;
}

// What the call answers instead of doing its work: E_FAIL when the scenario
// makes it fail, RPC_E_DISCONNECTED for every call once the card has vanished
// (the scenario's vanish time after tuning), 0 when it goes ahead.
static HRESULT Refusal(const TunerCall& call) {
    SimCard* card = call.card;
    uint32_t vanish = card->scenario.vanishMs;
    if (vanish && card->tuned.load(std::memory_order_acquire) && call.ms - card->tunedAt.load() >= vanish)
        return RPC_E_DISCONNECTED;
    return card->scenario.fail[call.method] ? E_FAIL : S_OK;
}

// "<Method>[ <arguments>][ slow=<ms>] -> 0x<result>"
static HRESULT EndCall(const TunerCall& call, HRESULT result, const char* arguments) {
    char slow[32] = "";
    uint32_t latency = call.card->scenario.latencyMs[call.method];
    if (latency) snprintf(slow, sizeof slow, " slow=%lu", (unsigned long)latency);
    SimLog(call.ms, "%s%s%s%s -> 0x%08lX", SimMethodName(call.method), arguments[0] ? " " : "",
           arguments, slow, (unsigned long)result);
    return result;
}

// The setters: each keeps its value unless the scenario makes it fail.
static HRESULT SetValue(TunerControl* self, SimMethod method, uint32_t value, uint32_t SimCard::*field) {
    TunerCall call = BeginCall(self, method);
    char arguments[16];
    snprintf(arguments, sizeof arguments, "%lu", (unsigned long)value);
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, arguments);
    call.card->*field = value;
    return EndCall(call, S_OK, arguments);
}

static HRESULT STDMETHODCALLTYPE SetSymbolRate(TunerControl* self, uint32_t kiloSymbols) {
    return SetValue(self, SIM_SET_SYMBOL_RATE, kiloSymbols, &SimCard::symbolRate);
}
static HRESULT STDMETHODCALLTYPE SetLnbFrequency(TunerControl* self, uint32_t mhz) {
    return SetValue(self, SIM_SET_LNB_FREQUENCY, mhz, &SimCard::lnbFrequency);
}
static HRESULT STDMETHODCALLTYPE SetDeviceMode(TunerControl* self, uint32_t mode) {
    return SetValue(self, SIM_SET_DEVICE_MODE, mode, &SimCard::deviceMode);
}
static HRESULT STDMETHODCALLTYPE SetPolarization(TunerControl* self, uint32_t polarization) {
    return SetValue(self, SIM_SET_POLARIZATION, polarization, &SimCard::polarization);
}
static HRESULT STDMETHODCALLTYPE SetLnbTone(TunerControl* self, uint32_t toneOn) {
    return SetValue(self, SIM_SET_LNB_TONE, toneOn, &SimCard::lnbTone);
}
static HRESULT STDMETHODCALLTYPE SetDiseqc(TunerControl* self, uint32_t diseqc) {
    return SetValue(self, SIM_SET_DISEQC, diseqc, &SimCard::diseqc);
}

static HRESULT STDMETHODCALLTYPE Initialize(TunerControl* self) {
    TunerCall call = BeginCall(self, SIM_INITIALIZE);
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, "");
    call.card->initialized = 1;
    return EndCall(call, S_OK, "");
}

// A new frequency restarts the scenario's clock: the dish "moves" from there.
static HRESULT STDMETHODCALLTYPE SetFrequency(TunerControl* self, uint32_t kiloHertz) {
    TunerCall call = BeginCall(self, SIM_SET_FREQUENCY);
    char arguments[16];
    snprintf(arguments, sizeof arguments, "%lu", (unsigned long)kiloHertz);
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, arguments);
    call.card->frequency = kiloHertz;
    call.card->tunedAt.store(SimNow());
    call.card->tuned.store(1, std::memory_order_release);
    return EndCall(call, S_OK, arguments);
}

constexpr size_t NOTE_SIZE = 128;

// What the card receives now: nothing until a frequency has been set. A dish
// says in note where it points and what it hears; the fixed signal says nothing.
static SignalSample CurrentSignal(SimCard* card, char* note) {
    note[0] = 0;
    bool tuned = card->tuned.load(std::memory_order_acquire) != 0;
    uint64_t ms = tuned ? SimNow() - card->tunedAt.load() : 0;
    if (card->scenario.dish.present) {
        CardTuning tuning = {card->lnbTone,  card->lnbFrequency, card->polarization,
                             card->symbolRate, card->frequency,  card->diseqc};
        return DishCardSignal(&card->dish, &card->scenario.dish, &tuning, tuned, ms, note, NOTE_SIZE);
    }
    if (!tuned) return SignalSample{0, 0, 0.0f};
    return SignalAt(&card->scenario, ms);
}

static HRESULT STDMETHODCALLTYPE CheckLock(TunerControl* self) {
    TunerCall call = BeginCall(self, SIM_CHECK_LOCK);
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, "");
    char note[NOTE_SIZE];
    HRESULT result = CurrentSignal(call.card, note).lock ? S_OK : E_FAIL;
    return EndCall(call, result, note);
}

static HRESULT STDMETHODCALLTYPE UpdateStatus(TunerControl* self) {
    TunerCall call = BeginCall(self, SIM_UPDATE_STATUS);
    return EndCall(call, Refusal(call), "");
}

// The level as the card reports it: 0 without a lock, otherwise whatever the
// scenario says, out of range included.
static HRESULT STDMETHODCALLTYPE GetSignalPercent(TunerControl* self, unsigned* percent) {
    TunerCall call = BeginCall(self, SIM_GET_SIGNAL_PERCENT);
    if (!percent) return EndCall(call, E_POINTER, "null");
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, "");
    char note[NOTE_SIZE];
    SignalSample signal = CurrentSignal(call.card, note);
    *percent = signal.lock ? unsigned(signal.level) : 0u;
    char arguments[16 + NOTE_SIZE];
    snprintf(arguments, sizeof arguments, "%u%s%s", *percent, note[0] ? " " : "", note);
    return EndCall(call, S_OK, arguments);
}

static HRESULT STDMETHODCALLTYPE GetSignalToNoise(TunerControl* self, float* snr) {
    TunerCall call = BeginCall(self, SIM_GET_SIGNAL_TO_NOISE);
    if (!snr) return EndCall(call, E_POINTER, "null");
    if (HRESULT refused = Refusal(call)) return EndCall(call, refused, "");
    char note[NOTE_SIZE];
    *snr = CurrentSignal(call.card, note).snr;
    char arguments[32];
    snprintf(arguments, sizeof arguments, "%.2f", double(*snr));
    return EndCall(call, S_OK, arguments);
}

// The driver's other slots: the program never calls them. Each still answers,
// and says in the log which slot was asked.
template <int SLOT>
static HRESULT STDMETHODCALLTYPE UnusedSlot(TunerControl*) {
    SimLog(SimNow(), "Slot%d -> 0x%08lX", SLOT, (unsigned long)E_NOTIMPL);
    return E_NOTIMPL;
}

#define UNUSED_SLOT(n) .unused##n = reinterpret_cast<void*>(&UnusedSlot<n>)

static const TunerControlVtbl TUNER_VTBL = {
    .QueryInterface = TunerQueryInterface,
    .AddRef = TunerAddRef,
    .Release = TunerRelease,
    UNUSED_SLOT(3),
    .SetSymbolRate = SetSymbolRate,
    .SetLnbFrequency = SetLnbFrequency,
    .SetDeviceMode = SetDeviceMode,
    .SetPolarization = SetPolarization,
    .SetLnbTone = SetLnbTone,
    .SetDiseqc = SetDiseqc,
    UNUSED_SLOT(10),
    .Initialize = Initialize,
    .CheckLock = CheckLock,
    .UpdateStatus = UpdateStatus,
    UNUSED_SLOT(14),
    UNUSED_SLOT(15),
    UNUSED_SLOT(16),
    UNUSED_SLOT(17),
    UNUSED_SLOT(18),
    UNUSED_SLOT(19),
    .GetSignalToNoise = GetSignalToNoise,
    UNUSED_SLOT(21),
    UNUSED_SLOT(22),
    UNUSED_SLOT(23),
    UNUSED_SLOT(24),
    UNUSED_SLOT(25),
    UNUSED_SLOT(26),
    .SetFrequency = SetFrequency,
    UNUSED_SLOT(28),
    UNUSED_SLOT(29),
    UNUSED_SLOT(30),
    UNUSED_SLOT(31),
    UNUSED_SLOT(32),
    UNUSED_SLOT(33),
    UNUSED_SLOT(34),
    UNUSED_SLOT(35),
    .GetSignalPercent = GetSignalPercent,
};
#undef UNUSED_SLOT

// ---- creation -----------------------------------------------------------------

// The scenario is read for every new card, so a test can change it between two.
static void LoadScenario(Scenario* scenario) {
    uint32_t ms = SimNow();
    char path[MAX_PATH];
    SimFilePath("SIMCARD_SCENARIO", "simcard.ini", path, sizeof path);
    HRESULT result = S_OK;
    HANDLE file = path[0] ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    char* text = nullptr;
    if (file == INVALID_HANDLE_VALUE) {
        result = HRESULT_FROM_WIN32(GetLastError());
    } else {
        text = static_cast<char*>(malloc(SCENARIO_FILE_MAX + 1));
        DWORD length = 0;
        if (!text || !ReadFile(file, text, SCENARIO_FILE_MAX, &length, nullptr)) {
            result = text ? HRESULT_FROM_WIN32(GetLastError()) : E_OUTOFMEMORY;
            free(text);
            text = nullptr;
        } else {
            text[length] = 0;
        }
        CloseHandle(file);
    }
    if (text) {
        ParseScenario(text, scenario);
        free(text);
    } else {
        DefaultScenario(scenario);  // no file: the demonstration
    }
    SimLog(ms, "Scenario %s built-in=%d segments=%lu loop=%d bad=%lu first-bad=%lu -> 0x%08lX", path,
           scenario->defaultSignal ? 1 : 0, (unsigned long)scenario->segmentCount, scenario->loop ? 1 : 0,
           (unsigned long)scenario->badLines, (unsigned long)scenario->firstBadLine, (unsigned long)result);
}

HRESULT CreateSimCard(REFIID iid, void** object) {
    SimCard* card = new (std::nothrow) SimCard();
    if (!card) return E_OUTOFMEMORY;
    card->filter.lpVtbl = const_cast<IBaseFilterVtbl*>(&FILTER_VTBL);
    card->tuner.lpVtbl = &TUNER_VTBL;
    card->references = 1;
    card->diseqc = 0xFFFFFFFF;
    LoadScenario(&card->scenario);
    if (card->scenario.dish.present) LoadDishCard(&card->scenario.dish, &card->dish);
    InterlockedIncrement(&SimObjectCount);
    HRESULT result = QueryCard(card, iid, object);
    ReleaseCard(card);  // the caller's reference is the one QueryCard took
    return result;
}
