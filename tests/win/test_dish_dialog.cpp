// The dish alignment dialog on the real main window and its 180 satellites.
#include "app/app.h"
#include "calculator/calculator.h"
#include "tests/win/win_fixture.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>

namespace {

TEST(DishDialog, OpensQuicklyWithEveryListFilled) {
    memset(&AppState.settings.latitudeDegreeIndex, 0, 24);  // offsets 80 to 103
    DWORD start = GetTickCount();
    HWND dialog = CreateDialogParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow,
                                     DishDialogProc, 0);
    DWORD opened = GetTickCount() - start;
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    DWORD painted = GetTickCount() - start;
    printf("dish dialog with %d satellites: set-up %lu ms, with the first paint %lu ms\n",
           (int)SendMessageA(AppState.dishSatelliteCombo, CB_GETCOUNT, 0, 0), opened, painted);
    EXPECT_LT(painted, 1500u);
    EXPECT_EQ(SendMessageA(AppState.dishSatelliteCombo, CB_GETCOUNT, 0, 0),
              SendMessageA(AppState.satelliteCombo, CB_GETCOUNT, 0, 0));
    const struct { HWND list; int count, index; const char* text; int value; } entries[] = {
        {AppState.latitudeDegreeCombo, 181, 0, "90\xB0n", 90},
        {AppState.latitudeDegreeCombo, 181, 90, "0\xB0", 0},
        {AppState.latitudeDegreeCombo, 181, 180, "90\xB0s", -90},
        {AppState.longitudeDegreeCombo, 361, 0, "180\xB0" "e", 180},
        {AppState.longitudeDegreeCombo, 361, 360, "180\xB0w", -180},
        {AppState.longitudeMinuteCombo, 60, 59, "59'", 59}};
    for (auto e : entries) {
        char text[16] = "";
        SendMessageA(e.list, CB_GETLBTEXT, e.index, (LPARAM)text);
        EXPECT_STREQ(text, e.text);
        EXPECT_EQ(SendMessageA(e.list, CB_GETITEMDATA, e.index, 0), e.value) << e.text;
        EXPECT_EQ(SendMessageA(e.list, CB_GETCOUNT, 0, 0), e.count) << e.text;
        EXPECT_EQ(SendMessageA(e.list, CB_GETCURSEL, 0, 0), 0) << "a block of zeros selects the first";
    }
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_OK, BN_CLICKED), 0);
    EXPECT_EQ(AppState.dialogBitmap, nullptr) << "the surface outlived OK";
    DestroyWindow(dialog);
}

}  // namespace
