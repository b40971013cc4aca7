// The dish alignment dialog on the real main window and its 180 satellites.
#include "app/app.h"
#include "calculator/calculator.h"
#include <gtest/gtest.h>

TEST(DishDialog, OpensQuicklyWithEveryListFilledToItsEnds) {
    DWORD start = GetTickCount();
    HWND dialog = CreateDialogParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow,
                                     DishDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    EXPECT_LT(GetTickCount() - start, 1500u) << "set-up and first paint with "
        << SendMessageA(AppState.dishSatelliteCombo, CB_GETCOUNT, 0, 0) << " satellites";
    const struct { HWND list; int count; const char* text; int value; } lists[] = {
        {AppState.latitudeDegreeCombo, 181, "90\xB0s", -90},
        {AppState.longitudeDegreeCombo, 361, "180\xB0w", -180},
        {AppState.longitudeMinuteCombo, 60, "59'", 59}};
    for (auto l : lists) {
        char text[16] = "";
        ASSERT_EQ(SendMessageA(l.list, CB_GETCOUNT, 0, 0), l.count) << l.text;
        SendMessageA(l.list, CB_GETLBTEXT, l.count - 1, (LPARAM)text);
        EXPECT_STREQ(text, l.text);
        EXPECT_EQ(SendMessageA(l.list, CB_GETITEMDATA, l.count - 1, 0), l.value) << l.text;
    }
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_OK, BN_CLICKED), 0);
    EXPECT_EQ(AppState.dialogBitmap, nullptr) << "the surface outlived OK";
    DestroyWindow(dialog);
}
