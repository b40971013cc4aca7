// The simulated card: one object that is both the source filter and its tuner
// interface. Every call is logged; the scenario decides what the card reports
// and which calls fail or take their time.
#include "simcard/simcard.h"
#include "driver/phone_server.h"
#include "driver/satellite_choice.h"
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// The largest scenario file read; the rest of a bigger one is ignored.
constexpr DWORD SCENARIO_FILE_MAX = 64 * 1024;
const char DRIVER_CLASS_NAME[] = "B2C2 MPEG-2 Source (simulated card)";
const wchar_t DRIVER_FILTER_NAME[] = L"B2C2 MPEG-2 Source (simulated card)";
const char DRIVER_BOX_CAPTION[] = "Simulated card";

struct SimCard {
    DriverObject object;  // first: the filter is the card's identity
    Scenario scenario;
    // What the program asked for; the virtual dish judges these.
    uint32_t initialized, deviceMode, symbolRate, lnbFrequency, polarization, lnbTone, diseqc, frequency;
    // Tuned once SetFrequency succeeded; the signal's clock starts then.
    std::atomic<uint32_t> tuned;
    std::atomic<uint32_t> tunedAt;
    std::atomic<uint32_t> tunes;     // one more for every tune: the stream's stamp
    std::atomic<int32_t> chosenKey;  // the satellite chosen in the program at the last tune
    DishCard dish;                   // used when the scenario has a [dish] section
    CardStream stream;               // the poller's alone
    bool phone;                      // this card started the phone page
};

static SimCard* CardOfTuner(TunerControl* tuner) { return reinterpret_cast<SimCard*>(ObjectOfTuner(tuner)); }

// The start of a tuner call: its time is taken before the scenario's latency,
// so the log says when the program asked, not when the card answered.
struct TunerCall {
    SimCard* card;
    SimMethod method;
    uint32_t ms;
};

static TunerCall BeginCall(TunerControl* self, SimMethod method) {
    TunerCall call = {CardOfTuner(self), method, DriverNow()};
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
    DriverLog(call.ms, "%s%s%s%s -> 0x%08lX", SimMethodName(call.method), arguments[0] ? " " : "", arguments, slow,
              (unsigned long)result);
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
    call.card->chosenKey.store(ReadChosenSatellite());  // here, on the thread that owns the program's list
    call.card->tunes.fetch_add(1, std::memory_order_release);
    call.card->tunedAt.store(DriverNow());
    call.card->tuned.store(1, std::memory_order_release);
    PhoneNoteTune(kiloHertz, call.card->polarization, call.card->symbolRate);
    return EndCall(call, S_OK, arguments);
}

constexpr size_t NOTE_SIZE = 128;
// The SNR in dB that fills the phone page's quality bar: a dish's C/N at boresight.
constexpr float SNR_FULL_SCALE = 15.0f;

static CardTuning TuningOf(const SimCard* card) {
    return CardTuning{card->lnbTone,    card->lnbFrequency, card->polarization,
                      card->symbolRate, card->frequency,    card->diseqc};
}

// What the card receives now: nothing until a frequency has been set. A dish
// says in note where it points and what it hears; the fixed signal says nothing.
static SignalSample CurrentSignal(SimCard* card, char* note) {
    note[0] = 0;
    bool tuned = card->tuned.load(std::memory_order_acquire) != 0;
    uint64_t ms = tuned ? DriverNow() - card->tunedAt.load() : 0;
    if (card->scenario.dish.present) {
        CardTuning tuning = TuningOf(card);
        return DishCardSignal(&card->dish, &card->scenario.dish, &tuning, tuned, ms, note, NOTE_SIZE);
    }
    if (!tuned) return SignalSample{0, 0, 0.0f};
    return SignalAt(&card->scenario, ms);
}

// The phone page learns what the program learns: a failed check sets its SNR to 0.
static HRESULT LockChecked(const TunerCall& call, HRESULT result, const char* note) {
    if (FAILED(result)) PhoneNoteLockFailed();
    return EndCall(call, result, note);
}

static HRESULT STDMETHODCALLTYPE CheckLock(TunerControl* self) {
    TunerCall call = BeginCall(self, SIM_CHECK_LOCK);
    if (HRESULT refused = Refusal(call)) return LockChecked(call, refused, "");
    char note[NOTE_SIZE];
    HRESULT result = CurrentSignal(call.card, note).lock ? S_OK : E_FAIL;
    return LockChecked(call, result, note);
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
    SimCard* card = call.card;
    SignalSample signal = CurrentSignal(card, note);
    *percent = signal.lock ? unsigned(signal.level) : 0u;
    // Every poll asks for the level: a dish hears a satellite, and its tables.
    if (card->scenario.dish.present) {
        CardTuning tuning = TuningOf(card);
        uint32_t tune = card->tunes.load(std::memory_order_acquire);
        FollowCardStream(&card->stream, &card->dish, &card->scenario.dish, &tuning, tune, card->chosenKey.load(),
                         signal.lock);
    }
    PhoneNotePercent(*percent);
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
    PhoneNoteSnr(*snr, SNR_FULL_SCALE);
    char arguments[32];
    snprintf(arguments, sizeof arguments, "%.2f", double(*snr));
    return EndCall(call, S_OK, arguments);
}

DRIVER_TUNER_VTBL(TUNER_VTBL);

// ---- creation -----------------------------------------------------------------

// The scenario is read for every new card, so a test can change it between two.
// Its [phone] section starts the page, once per process.
static void LoadScenario(Scenario* scenario, bool* phone) {
    uint32_t ms = DriverNow();
    char path[MAX_PATH];
    DWORD length;
    HRESULT result;
    char* text =
        ReadDriverFile("SIMCARD_SCENARIO", "simcard.ini", SCENARIO_FILE_MAX, path, sizeof path, &length, &result);
    if (text) {
        ParseScenario(text, scenario);
        *phone = StartPhoneServer(text, length);
        free(text);
    } else {
        DefaultScenario(scenario);  // no file: the demonstration
    }
    DriverLog(ms, "Scenario %s built-in=%d segments=%lu loop=%d bad=%lu first-bad=%lu -> 0x%08lX", path,
              scenario->defaultSignal ? 1 : 0, (unsigned long)scenario->segmentCount, scenario->loop ? 1 : 0,
              (unsigned long)scenario->badLines, (unsigned long)scenario->firstBadLine, (unsigned long)result);
}

static void DestroyCard(DriverObject* object) {
    SimCard* card = reinterpret_cast<SimCard*>(object);
    if (card->phone) StopPhoneServer();
    FreeDishCard(&card->dish);
    delete card;
}

HRESULT CreateDriverObject(REFIID iid, void** object) {
    SimCard* card = new (std::nothrow) SimCard();
    if (!card) return E_OUTOFMEMORY;
    InitDriverObject(&card->object, DestroyCard);
    card->object.tuner.lpVtbl = &TUNER_VTBL;
    card->diseqc = 0xFFFFFFFF;
    LoadScenario(&card->scenario, &card->phone);
    if (card->scenario.dish.present) LoadDishCard(&card->scenario.dish, &card->dish);
    return HandOverDriverObject(&card->object, iid, object);
}
