// The signal log and the server settings dialog on the real AppState: the
// log's timer driven by hand through a whole five minutes and its wrap, and
// the adapter list fed a made-up chain.
#include "app/app.h"
#include "feedback/feedback.h"
#include "server/server.h"
#include "tests/win/win_fixture.h"
#include <gtest/gtest.h>
#include <winsock2.h>
#include <cstdio>
#include <string>

namespace {

constexpr COLORREF BAR = RGB(0, 100, 0), GRID = RGB(70, 70, 70), BLACK = RGB(0, 0, 0);

TEST(SignalLog, WrapsAfter300SamplesAndDrawsThe301stAtTheLeftEdge) {
    HWND dialog = CreateDialogParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow,
                                     SignalLogDialogProc, 0);
    ASSERT_TRUE(dialog && AppState.logFile && AppState.graphSamples);
    HDC graph = AppState.dialogMemoryDc;
    const int bar = AppState.graphBarWidth, low = AppState.graphRowHeight * 20 - 10;
    auto tick = [&](uint32_t level) {
        AppState.signalPercent = level;
        SendMessageA(dialog, WM_TIMER, 115, 0);
    };
    tick(100);
    for (int second = 1; second < 299; ++second) tick(second == 150 ? 57 : 0);
    EXPECT_EQ(GetPixel(graph, 0, 10), BAR) << "level 100 reaches the top";
    EXPECT_EQ(GetPixel(graph, 150 * bar, low), BAR);
    EXPECT_EQ(GetPixel(graph, 150 * bar, 10), BLACK) << "57 % stops lower";
    EXPECT_EQ(GetPixel(graph, 100 * bar, low), BLACK) << "level 0 draws no bar";
    tick(0);  // the 300th: the graph starts again empty
    EXPECT_EQ(AppState.graphSampleIndex, 0u);
    EXPECT_EQ(GetPixel(graph, 150 * bar, low), BLACK) << "not cleared at the wrap";
    EXPECT_EQ(GetPixel(graph, 60 * bar, low), GRID) << "grid not drawn again";
    tick(57);
    EXPECT_EQ(GetPixel(graph, 0, low), BAR) << "the 301st sample is not at the left edge";
    EXPECT_EQ(AppState.graphSamples[0], 57);
    EXPECT_EQ(AppState.graphSampleIndex, 1u);

    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(AppState.logFile || AppState.dialogMemoryDc || AppState.dialogBitmap ||
                 AppState.graphPen || AppState.dialogDc || AppState.graphSamples)
        << "an object of the log was not released";
    DestroyWindow(dialog);
    AppState.signalPercent = 0;
    // Only the three seconds with a level were written, after the header.
    SetProgramFolderAsWorkingDirectory();
    FILE* file = fopen("signal_log.txt", "rb");
    ASSERT_TRUE(file);
    char text[512] = {};
    fread(text, 1, sizeof text - 1, file);
    fclose(file);
    std::string log = text;
    EXPECT_EQ(log.find(";Format: Min:Sec Level\r\n\r\n"), log.find("\r\n") + 2) << log;
    for (const char* record : {"   100\r\n", "   57\r\n"}) EXPECT_NE(log.find(record), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6) << log;
    DeleteFileA("signal_log.txt");
}

TEST(ServerSettings, AdapterListTakesLocalhostAndAtMostTenAdapters) {
    IP_ADAPTER_INFO chain[12] = {};
    for (int i = 0; i < 12; ++i) {
        chain[i].Next = i < 11 ? &chain[i + 1] : nullptr;
        snprintf(chain[i].Description, sizeof chain[i].Description, "card %d", i);
        snprintf(chain[i].IpAddressList.IpAddress.String, 16, "10.0.0.%d", i + 1);
    }
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100,
                                 AppState.mainWindow, nullptr, AppState.instance, nullptr);
    for (DWORD result : {(DWORD)NO_ERROR, (DWORD)ERROR_NO_DATA}) {
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        FillAdapterList(combo, result, chain);
        int count = (int)SendMessageA(combo, CB_GETCOUNT, 0, 0);
        EXPECT_EQ(count, result == NO_ERROR ? 11 : 1) << "query result " << result;
        for (int i = 0; i < count; ++i) {
            char name[32] = {}, expected[32] = "localhost";
            SendMessageA(combo, CB_GETLBTEXT, i, (LPARAM)name);
            if (i) snprintf(expected, sizeof expected, "card %d", i - 1);
            EXPECT_STREQ(name, expected);
            EXPECT_EQ((DWORD)SendMessageA(combo, CB_GETITEMDATA, i, 0),
                      i ? inet_addr(chain[i - 1].IpAddressList.IpAddress.String) : 0x0100007Fu);
        }
    }
    DestroyWindow(combo);
}

TEST(ServerSettings, OpensBelowTheWindowWithItsControls) {
    HWND dialog = CreateDialogParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow,
                                     ServerSettingsDialogProc, 0);
    ASSERT_TRUE(dialog);
    RECT main, placed;
    GetWindowRect(AppState.mainWindow, &main);
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(placed.left, main.left);
    EXPECT_EQ(placed.top, main.top + 345);
    EXPECT_EQ(placed.right - placed.left, 512);
    EXPECT_EQ(placed.bottom - placed.top, 165);
    char text[32] = {};
    SendMessageA(AppState.serverAdapterCombo, CB_GETLBTEXT, 0, (LPARAM)text);
    EXPECT_STREQ(text, "localhost");
    EXPECT_EQ(SendMessageA(AppState.serverAdapterCombo, CB_GETCURSEL, 0, 0), 0);
    SendMessageA(AppState.serverModeCombo, CB_GETLBTEXT, 2, (LPARAM)text);
    EXPECT_STREQ(text, "wap+http");
    // The port takes digits only.
    SendMessageA(AppState.serverPortEdit, WM_CHAR, 'a', 0);
    GetWindowTextA(AppState.serverPortEdit, text, sizeof text);
    EXPECT_STREQ(text, "80");
    SendMessageA(AppState.serverPortEdit, WM_CHAR, '5', 0);
    GetWindowTextA(AppState.serverPortEdit, text, sizeof text);
    EXPECT_EQ(strlen(text), 3u) << text;
    DestroyWindow(dialog);
}

}  // namespace
