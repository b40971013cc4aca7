// The signal log's timer driven by hand through five minutes and its wrap;
// the server dialog's adapter walk fed a made-up chain, and its port field;
// the dish alignment dialog on the real main window and its 180 satellites.
#include "app/app.h"
#include "calculator/calculator.h"
#include "feedback/feedback.h"
#include "server/server.h"
#include <gtest/gtest.h>
#include <winsock2.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr COLORREF BAR = RGB(0, 100, 0), GRID = RGB(70, 70, 70), BLACK = RGB(0, 0, 0);

HWND OpenDialog(DLGPROC proc) {
    return CreateDialogParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow, proc, 0);
}

TEST(SignalLog, WrapsAfter300SamplesAndDrawsThe301stAtTheLeftEdge) {
    HWND dialog = OpenDialog(SignalLogDialogProc);
    ASSERT_TRUE(dialog && AppState.logFile && AppState.graphSamples);
    HDC graph = AppState.dialogMemoryDc;
    const int bar = AppState.graphBarWidth, low = AppState.graphRowHeight * 20 - 10;
    auto tick = [&](uint32_t level) {
        AppState.signalPercent = level;
        SendMessageA(dialog, WM_TIMER, 115, 0);
    };
    for (int second = 0; second < 299; ++second) tick(second == 0 ? 100 : second == 150 ? 57 : 0);
    EXPECT_EQ(GetPixel(graph, 0, 10), BAR) << "level 100 reaches the top";
    EXPECT_EQ(GetPixel(graph, 150 * bar, low), BAR);
    tick(0);  // the 300th: the graph starts again empty
    EXPECT_EQ(GetPixel(graph, 150 * bar, low), BLACK) << "not cleared at the wrap";
    EXPECT_EQ(GetPixel(graph, 60 * bar, low), GRID) << "grid not drawn again";
    tick(57);
    EXPECT_EQ(GetPixel(graph, 0, low), BAR) << "the 301st sample is not at the left edge";

    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(AppState.logFile || AppState.dialogMemoryDc || AppState.dialogBitmap || AppState.graphPen ||
                 AppState.dialogDc || AppState.graphSamples)
        << "an object of the log was not released";
    DestroyWindow(dialog);
    AppState.signalPercent = 0;
    DeleteFileA("signal_log.txt");
}

TEST(ServerSettings, LocalhostFirstAtMostTenAdaptersAndAPortOfDigits) {
    HWND dialog = OpenDialog(ServerSettingsDialogProc), list = AppState.serverAdapterCombo;
    char text[32] = {};
    SendMessageA(list, CB_GETLBTEXT, 0, (LPARAM)text);
    EXPECT_STREQ(text, "localhost");
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    for (char typed : {'a', '5'}) SendMessageA(AppState.serverPortEdit, WM_CHAR, typed, 0);
    GetWindowTextA(AppState.serverPortEdit, text, sizeof text);
    EXPECT_EQ(strlen(text), 3u) << "80 with only the 5 added, not " << text;

    IP_ADAPTER_INFO chain[12] = {};  // a machine with twelve adapters
    for (int i = 0; i < 12; ++i) {
        chain[i].Next = i < 11 ? &chain[i + 1] : nullptr;
        snprintf(chain[i].Description, sizeof chain[i].Description, "card %d", i);
        snprintf(chain[i].IpAddressList.IpAddress.String, 16, "10.0.0.%d", i + 1);
    }
    for (DWORD result : {(DWORD)NO_ERROR, (DWORD)ERROR_NO_DATA}) {
        SendMessageA(list, CB_RESETCONTENT, 0, 0);
        FillAdapterList(list, result, chain);
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        EXPECT_EQ(count, result ? 1 : 11);
        SendMessageA(list, CB_GETLBTEXT, count - 1, (LPARAM)text);
        EXPECT_STREQ(text, result ? "localhost" : "card 9");                      // the tenth in the system's order
        EXPECT_EQ((DWORD)SendMessageA(list, CB_GETITEMDATA, 0, 0), 0x0100007Fu);  // 127.0.0.1
        EXPECT_EQ((DWORD)SendMessageA(list, CB_GETITEMDATA, 10, 0), result ? (DWORD)CB_ERR : inet_addr("10.0.0.10"));
    }
    DestroyWindow(dialog);
}

TEST(DishDialog, OpensQuicklyWithEveryListFilledToItsEnds) {
    DWORD start = GetTickCount();
    HWND dialog = OpenDialog(DishDialogProc);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    EXPECT_LT(GetTickCount() - start, 1500u)
        << "set-up and first paint with " << SendMessageA(AppState.dishSatelliteCombo, CB_GETCOUNT, 0, 0)
        << " satellites";
    const struct {
        HWND list;
        int count;
        const char* text;
        int value;
    } lists[] = {{AppState.latitudeDegreeCombo, 181, "90\xB0s", -90},
                 {AppState.longitudeDegreeCombo, 361, "180\xB0w", -180},
                 {AppState.longitudeMinuteCombo, 60, "59'", 59}};
    for (auto l : lists) {
        char text[16] = "";
        ASSERT_EQ(SendMessageA(l.list, CB_GETCOUNT, 0, 0), l.count) << l.text;
        SendMessageA(l.list, CB_GETLBTEXT, l.count - 1, (LPARAM)text);
        EXPECT_STREQ(text, l.text);
        EXPECT_EQ(SendMessageA(l.list, CB_GETITEMDATA, l.count - 1, 0), l.value) << l.text;
    }
    // A new latitude minute, ORVALIS_DISH_CHANGES times (15 if unset): each is
    // computed and drawn before the next message, in a median of at most 25 ms.
    const char* changesText = getenv("ORVALIS_DISH_CHANGES");
    const int changes = changesText ? atoi(changesText) : 15;
    std::vector<double> times;
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < changes; ++i) {
        SendMessageA(AppState.latitudeMinuteCombo, CB_SETCURSEL, i % 60, 0);
        QueryPerformanceCounter(&before);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(124, CBN_SELCHANGE), 0);  // latitude minutes
        // Wine puts what was drawn on the screen at the next message wait.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
        QueryPerformanceCounter(&after);
        times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    printf("%d changes of the dish dialog: median %.1f ms, slowest %.1f ms\n", changes, times[times.size() / 2],
           times.back());
    EXPECT_LE(times[times.size() / 2], 25.0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_OK, BN_CLICKED), 0);
    EXPECT_EQ(AppState.dialogBitmap, nullptr) << "the surface outlived OK";
    DestroyWindow(dialog);
}

}  // namespace
