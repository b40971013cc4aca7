// The simulated card as the program meets it: found through CoCreateInstance
// in the prefix where it is registered, queried for the tuner interface, tuned
// and polled, and judged by what it answers and by its call log.
#include "tuner/tuner_control.h"
#include <gtest/gtest.h>
#include <objbase.h>
#include <strmif.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char SET_FREQUENCY_OK[] = "SetFrequency 11778000 -> 0x00000000";

// A fresh log and scenario for each test, in the temp folder. The card reads
// both variables on every use, so they can change while it is loaded; the
// ones the process had before come back when the test ends.
struct CardFiles {
    char log[MAX_PATH];
    char scenario[MAX_PATH];
    char oldLog[MAX_PATH];
    char oldScenario[MAX_PATH];
    bool hadLog, hadScenario;

    CardFiles(const char* name, const char* scenarioText) {
        DWORD length = GetEnvironmentVariableA("SIMCARD_LOG", oldLog, sizeof oldLog);
        hadLog = length > 0 && length < sizeof oldLog;
        length = GetEnvironmentVariableA("SIMCARD_SCENARIO", oldScenario, sizeof oldScenario);
        hadScenario = length > 0 && length < sizeof oldScenario;
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        snprintf(log, sizeof log, "%ssimcard-%s.log", folder, name);
        snprintf(scenario, sizeof scenario, "%ssimcard-%s.ini", folder, name);
        DeleteFileA(log);
        DeleteFileA(scenario);
        if (scenarioText) {
            FILE* f = fopen(scenario, "wb");
            if (f) {
                fputs(scenarioText, f);
                fclose(f);
            }
        }
        SetEnvironmentVariableA("SIMCARD_LOG", log);
        SetEnvironmentVariableA("SIMCARD_SCENARIO", scenario);
    }
    ~CardFiles() {
        SetEnvironmentVariableA("SIMCARD_LOG", hadLog ? oldLog : nullptr);
        SetEnvironmentVariableA("SIMCARD_SCENARIO", hadScenario ? oldScenario : nullptr);
    }
    CardFiles(const CardFiles&) = delete;
    CardFiles& operator=(const CardFiles&) = delete;
};

std::vector<std::string> ReadLog(const CardFiles& files) {
    std::vector<std::string> lines;
    FILE* f = fopen(files.log, "rb");
    if (!f) return lines;
    char line[1024];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        lines.push_back(line);
    }
    fclose(f);
    return lines;
}

// The log line's parts: "<ms> tid=<id> <method> [<arguments>] -> <result>".
struct LogLine {
    unsigned long ms, tid;
    std::string method, rest;
};

bool SplitLogLine(const std::string& text, LogLine* line) {
    char method[64];
    int used = 0;
    if (sscanf(text.c_str(), "%lu tid=%lu %63s%n", &line->ms, &line->tid, method, &used) != 3) return false;
    line->method = method;
    line->rest = text.substr(size_t(used));
    return text.find(" -> ") != std::string::npos;
}

int CountLines(const std::vector<std::string>& lines, const char* part) {
    int count = 0;
    for (const std::string& l : lines) count += l.find(part) != std::string::npos;
    return count;
}

// COM for one test; balanced whatever the thread had before.
struct ComScope {
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComScope() {
        if (SUCCEEDED(init)) CoUninitialize();
    }
};

// The card's filter and tuner interface, as the program's start-up takes them.
struct Card {
    IBaseFilter* filter = nullptr;
    TunerControl* tuner = nullptr;
};

::testing::AssertionResult OpenCard(Card* card) {
    HRESULT result = CoCreateInstance(CLSID_B2C2SourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&card->filter));
    if (result != S_OK)
        return ::testing::AssertionFailure()
               << "CoCreateInstance gave 0x" << std::hex << result
               << ": is simcard.dll registered in this Wine prefix (scripts/wine-prefix)?";
    result = card->filter->QueryInterface(IID_TunerControl, reinterpret_cast<void**>(&card->tuner));
    if (result != S_OK || !card->tuner)
        return ::testing::AssertionFailure() << "no tuner interface: 0x" << std::hex << result;
    return ::testing::AssertionSuccess();
}

void CloseCard(Card* card) {
    if (card->tuner) card->tuner->lpVtbl->Release(card->tuner);
    if (card->filter) card->filter->Release();
    *card = Card{};
}

void Tune(TunerControl* t, uint32_t frequency) {
    t->lpVtbl->SetLnbTone(t, 1);
    t->lpVtbl->SetLnbFrequency(t, 10600);
    t->lpVtbl->SetPolarization(t, 1);
    t->lpVtbl->SetSymbolRate(t, 27500);
    EXPECT_EQ(t->lpVtbl->SetFrequency(t, frequency), S_OK);
    EXPECT_EQ(t->lpVtbl->SetDiseqc(t, 1), S_OK);
}

// Waits for the card to report a lock, as the poller would ask, with a deadline.
bool WaitForLock(TunerControl* t, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (t->lpVtbl->CheckLock(t) == S_OK) return true;
        Sleep(20);
    }
    return false;
}

using DllCanUnloadNowProc = HRESULT(STDAPICALLTYPE*)();

TEST(Simcard, IsACreatableFilterWithTheTunerInterface) {
    ComScope com;
    CardFiles files("identity", nullptr);
    Card card;
    ASSERT_TRUE(OpenCard(&card));

    CLSID clsid{};
    EXPECT_EQ(card.filter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_B2C2SourceFilter)) << "GetClassID is not the source filter's";
    FILTER_STATE state = State_Running;
    EXPECT_EQ(card.filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // One object: both interfaces give the same IUnknown, and each gives the other.
    IUnknown *fromFilter = nullptr, *fromTuner = nullptr;
    ASSERT_EQ(card.filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromFilter)), S_OK);
    ASSERT_EQ(card.tuner->lpVtbl->QueryInterface(card.tuner, IID_IUnknown, reinterpret_cast<void**>(&fromTuner)),
              S_OK);
    EXPECT_EQ(fromFilter, fromTuner) << "the filter and the tuner interface are not one object";
    IBaseFilter* filterAgain = nullptr;
    EXPECT_EQ(card.tuner->lpVtbl->QueryInterface(card.tuner, IID_IBaseFilter, reinterpret_cast<void**>(&filterAgain)),
              S_OK);
    EXPECT_EQ(filterAgain, card.filter);
    void* nothing = &card;
    EXPECT_EQ(card.filter->QueryInterface(IID_IClassFactory, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr) << "a refused interface must clear the pointer";

    // The references are shared: three taken above, one for each open pointer.
    EXPECT_EQ(card.tuner->lpVtbl->AddRef(card.tuner), 6u);
    EXPECT_EQ(card.tuner->lpVtbl->Release(card.tuner), 5u);
    fromFilter->Release();
    fromTuner->Release();
    filterAgain->Release();

    // A placeholder slot answers "not implemented" rather than crashing.
    auto slot3 = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(TunerControl*)>(card.tuner->lpVtbl->unused3);
    EXPECT_EQ(slot3(card.tuner), E_NOTIMPL);

    HMODULE dll = GetModuleHandleA("simcard.dll");
    ASSERT_NE(dll, nullptr) << "CoCreateInstance did not load simcard.dll";
    auto canUnload = reinterpret_cast<DllCanUnloadNowProc>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE) << "unloadable while a card is alive";
    EXPECT_EQ(card.tuner->lpVtbl->Release(card.tuner), 1u);
    card.tuner = nullptr;
    EXPECT_EQ(card.filter->Release(), 0u);
    card.filter = nullptr;
    EXPECT_EQ(canUnload(), S_OK) << "the last card is gone, yet the DLL stays locked";

    std::vector<std::string> log = ReadLog(files);
    EXPECT_EQ(CountLines(log, "DllGetClassObject {E82536A0-94DA-11D2-A463-00A0C95D308D}"), 1);
    EXPECT_EQ(CountLines(log, "CreateInstance {56A86895-0AD4-11CE-B03A-0020AF0BA770} -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, "QueryInterface {CD900832-50DF-4F8F-882D-1C358F90B3F2} TunerControl -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, "Scenario "), 1) << "the scenario is read once per card";
    EXPECT_EQ(CountLines(log, " built-in=1 "), 1) << "no scenario file: the built-in one";
    EXPECT_EQ(CountLines(log, "Slot3 -> 0x80004001"), 1);
    EXPECT_EQ(CountLines(log, "DllCanUnloadNow objects=0 locks=0 -> 0x00000000"), 1);
}

TEST(Simcard, TunesAndReportsTheScenarioSignalAndLogsEveryCall) {
    ComScope com;
    CardFiles files("tune",
                                   "# locks a moment after tuning\n"
                                   "[signal]\n"
                                   "step 300 lock=0 level=40\n"
                                   "step 600000 level=55 snr=9.5\n");
    Card card;
    ASSERT_TRUE(OpenCard(&card));
    TunerControl* t = card.tuner;
    EXPECT_EQ(t->lpVtbl->Initialize(t), S_OK);
    EXPECT_EQ(t->lpVtbl->SetDeviceMode(t, 6), S_OK);

    // Not tuned yet: no lock, nothing received.
    unsigned percent = 77;
    float snr = 7.0f;
    EXPECT_LT(t->lpVtbl->CheckLock(t), 0);
    EXPECT_EQ(t->lpVtbl->GetSignalPercent(t, &percent), S_OK);
    EXPECT_EQ(percent, 0u);
    EXPECT_EQ(t->lpVtbl->GetSignalToNoise(t, &snr), S_OK);
    EXPECT_EQ(snr, 0.0f);

    Tune(t, 11778000);
    EXPECT_LT(t->lpVtbl->CheckLock(t), 0) << "locked before the scenario says so";
    EXPECT_EQ(t->lpVtbl->GetSignalPercent(t, &percent), S_OK);
    EXPECT_EQ(percent, 0u) << "a level without a lock (the scenario gives 40 there)";
    ASSERT_TRUE(WaitForLock(t, 5000)) << "no lock within 5 s";
    EXPECT_EQ(t->lpVtbl->UpdateStatus(t), S_OK);
    EXPECT_EQ(t->lpVtbl->GetSignalPercent(t, &percent), S_OK);
    EXPECT_EQ(percent, 55u);
    EXPECT_EQ(t->lpVtbl->GetSignalToNoise(t, &snr), S_OK);
    EXPECT_FLOAT_EQ(snr, 9.5f);
    EXPECT_EQ(t->lpVtbl->GetSignalPercent(t, nullptr), E_POINTER);
    CloseCard(&card);

    std::vector<std::string> log = ReadLog(files);
    ASSERT_FALSE(log.empty()) << "nothing in " << files.log;
    // Every line has the same shape, this thread's id and a clock that only goes on.
    std::vector<std::string> tunerCalls;
    unsigned long lastMs = 0;
    for (const std::string& text : log) {
        LogLine line;
        ASSERT_TRUE(SplitLogLine(text, &line)) << "malformed log line: " << text;
        EXPECT_EQ(line.tid, GetCurrentThreadId()) << text;
        EXPECT_GE(line.ms, lastMs) << text;
        lastMs = line.ms;
        if (line.method.rfind("Set", 0) == 0 || line.method == "Initialize")
            tunerCalls.push_back(line.method + line.rest);
    }
    std::vector<std::string> expected = {
        "Initialize -> 0x00000000",       "SetDeviceMode 6 -> 0x00000000", "SetLnbTone 1 -> 0x00000000",
        "SetLnbFrequency 10600 -> 0x00000000", "SetPolarization 1 -> 0x00000000",
        "SetSymbolRate 27500 -> 0x00000000", SET_FREQUENCY_OK,                "SetDiseqc 1 -> 0x00000000",
    };
    EXPECT_EQ(tunerCalls, expected);
    EXPECT_EQ(CountLines(log, " built-in=0 segments=2 loop=0 bad=0 "), 1) << "the scenario file was not read";
    EXPECT_GE(CountLines(log, "CheckLock -> 0x80004005"), 2);
    EXPECT_EQ(CountLines(log, "CheckLock -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, "GetSignalPercent 55 -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, "GetSignalToNoise 9.50 -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, "GetSignalPercent null -> 0x80004003"), 1);
    EXPECT_EQ(CountLines(log, " Release -> 1"), 1) << "the tuner interface goes first";
    EXPECT_EQ(CountLines(log, " Filter.Release -> 0"), 1) << "the filter goes last";
}

TEST(Simcard, FaultsFailTheNamedCallsAndSlowOnesTakeTheirTime) {
    ComScope com;
    CardFiles files("faults",
                                   "[faults]\n"
                                   "fail=Initialize\n"
                                   "fail=SetDeviceMode\n"
                                   "fail=SetFrequency\n"
                                   "fail=SetDiseqc\n"
                                   "latency=SetSymbolRate:300\n");
    Card card;
    ASSERT_TRUE(OpenCard(&card));
    TunerControl* t = card.tuner;
    EXPECT_EQ(t->lpVtbl->Initialize(t), E_FAIL);
    EXPECT_EQ(t->lpVtbl->SetDeviceMode(t, 6), E_FAIL);
    EXPECT_EQ(t->lpVtbl->SetFrequency(t, 11778000), E_FAIL);
    EXPECT_EQ(t->lpVtbl->SetDiseqc(t, 0), E_FAIL);
    EXPECT_EQ(t->lpVtbl->SetLnbTone(t, 0), S_OK) << "a call the scenario does not name failed";
    DWORD start = GetTickCount();
    EXPECT_EQ(t->lpVtbl->SetSymbolRate(t, 27500), S_OK);
    EXPECT_GE(GetTickCount() - start, 280u) << "the slow call was not slow";
    // A failed tune leaves the card untuned, whatever the signal would be.
    Sleep(50);
    EXPECT_LT(t->lpVtbl->CheckLock(t), 0);
    unsigned percent = 5;
    EXPECT_EQ(t->lpVtbl->GetSignalPercent(t, &percent), S_OK);
    EXPECT_EQ(percent, 0u);
    CloseCard(&card);

    std::vector<std::string> log = ReadLog(files);
    EXPECT_EQ(CountLines(log, "Initialize -> 0x80004005"), 1);
    EXPECT_EQ(CountLines(log, "SetDeviceMode 6 -> 0x80004005"), 1);
    EXPECT_EQ(CountLines(log, "SetFrequency 11778000 -> 0x80004005"), 1);
    EXPECT_EQ(CountLines(log, "SetDiseqc 0 -> 0x80004005"), 1);
    EXPECT_EQ(CountLines(log, "SetSymbolRate 27500 slow=300 -> 0x00000000"), 1);
    EXPECT_EQ(CountLines(log, " built-in=1 "), 1) << "faults alone keep the built-in signal";
}

// The poller's side: another thread asks every few milliseconds while this one
// writes to the log too; every line must come out whole.
struct PollerRun {
    TunerControl* tuner;
    volatile LONG running;
    unsigned highest;
    float lowestSnr;
    int reads;
};

DWORD WINAPI PollLikeTheProgram(LPVOID argument) {
    PollerRun* run = static_cast<PollerRun*>(argument);
    TunerControl* t = run->tuner;
    unsigned percent = 0;
    while (run->running) {
        Sleep(5);
        if (percent == 0 && t->lpVtbl->CheckLock(t) < 0) continue;
        t->lpVtbl->UpdateStatus(t);
        t->lpVtbl->GetSignalPercent(t, &percent);
        float snr = 0.0f;
        t->lpVtbl->GetSignalToNoise(t, &snr);
        if (percent > run->highest) run->highest = percent;
        if (snr < run->lowestSnr) run->lowestSnr = snr;
        ++run->reads;
    }
    return 0;
}

TEST(Simcard, OutOfRangeValuesReachThePollerAndTheLogStaysWhole) {
    ComScope com;
    CardFiles files("poller",
                                   "[signal]\n"
                                   "loop=1\n"
                                   "step 100 lock=0\n"
                                   "ramp 200 level=90..150 snr=-5..20\n");
    Card card;
    ASSERT_TRUE(OpenCard(&card));
    Tune(card.tuner, 11778000);
    PollerRun run = {card.tuner, 1, 0, 100.0f, 0};
    HANDLE thread = CreateThread(nullptr, 0, PollLikeTheProgram, &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 100; ++i) {
        IUnknown* unknown = nullptr;
        card.filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
        if (unknown) unknown->Release();
        Sleep(10);
    }
    InterlockedExchange(&run.running, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseCard(&card);

    EXPECT_GT(run.reads, 20);
    EXPECT_GE(run.highest, 140u) << "the level over 100 was clipped";
    EXPECT_LE(run.highest, 150u);
    EXPECT_LT(run.lowestSnr, 0.0f) << "the negative SNR was clipped";

    std::vector<std::string> log = ReadLog(files);
    int pollerLines = 0, mainLines = 0;
    for (const std::string& text : log) {
        LogLine line;
        ASSERT_TRUE(SplitLogLine(text, &line)) << "torn log line: " << text;
        (line.tid == GetCurrentThreadId() ? mainLines : pollerLines)++;
    }
    EXPECT_GE(mainLines, 200);
    EXPECT_GE(pollerLines, run.reads * 3);
    EXPECT_GE(CountLines(log, "CheckLock -> 0x80004005"), 1) << "the lock was never lost in the loop";
}

TEST(Simcard, BuiltInScenarioSearchesThenLocksLow) {
    ComScope com;
    CardFiles files("builtin", nullptr);
    Card card;
    ASSERT_TRUE(OpenCard(&card));
    TunerControl* t = card.tuner;
    Tune(t, 12603000);
    DWORD tuned = GetTickCount();
    EXPECT_LT(t->lpVtbl->CheckLock(t), 0) << "the demonstration starts without a lock";
    ASSERT_TRUE(WaitForLock(t, 6000));
    DWORD searched = GetTickCount() - tuned;
    EXPECT_GE(searched, 2500u);
    EXPECT_LE(searched, 4000u);
    unsigned percent = 0;
    float snr = 0.0f;
    t->lpVtbl->GetSignalPercent(t, &percent);
    t->lpVtbl->GetSignalToNoise(t, &snr);
    EXPECT_GE(percent, 10u);
    EXPECT_LE(percent, 20u) << "the first lock should be weak";
    EXPECT_GE(snr, 2.0f);
    EXPECT_LE(snr, 4.0f);
    CloseCard(&card);
    EXPECT_EQ(CountLines(ReadLog(files), " built-in=1 segments=5 loop=1 bad=0 first-bad=0 -> 0x80070002"), 1)
        << "a missing scenario file is logged as such";
}

TEST(Simcard, RegistrationNamesThisDllForEveryThreadingModel) {
    ComScope com;
    CardFiles files("registry", nullptr);
    Card card;
    ASSERT_TRUE(OpenCard(&card));
    char dll[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("simcard.dll"), dll, sizeof dll);
    CloseCard(&card);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{E82536A0-94DA-11D2-A463-00A0C95D308D}\\InprocServer32", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    char server[MAX_PATH] = "", model[32] = "";
    DWORD size = sizeof server;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(server), &size),
              ERROR_SUCCESS);
    size = sizeof model;
    EXPECT_EQ(RegQueryValueExA(key, "ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(model), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(lstrcmpiA(server, dll), 0) << "registered " << server << ", loaded " << dll;
    EXPECT_STREQ(model, "Both");
}

}  // namespace
