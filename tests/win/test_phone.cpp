// The simulated card's phone page when another program holds its port: a log
// line and a box, and the tuner works on.
#include <winsock2.h>
#include "app/app.h"
#include "tuner/tuner.h"
#include "tuner/tuner_control.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>

namespace {

TEST(Phone, APortInUseLeavesTheTunerWorking) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_TRUE(!bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) && !listen(holder, 1) &&
                !getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length));
    char folder[MAX_PATH], scenario[MAX_PATH], log[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    snprintf(scenario, sizeof scenario, "%sorvalis-phone.ini", folder);
    snprintf(log, sizeof log, "%sorvalis-phone.log", folder);
    DeleteFileA(log);
    FILE* file = fopen(scenario, "wb");
    ASSERT_TRUE(file &&
                fprintf(file, "[signal]\nstep 1000 level=50 snr=5\n[phone]\nport=%u\nlisten=127.0.0.1\n",
                        ntohs(address.sin_port)) > 0 &&
                !fclose(file));
    SetEnvironmentVariableA("SIMCARD_SCENARIO", scenario);
    SetEnvironmentVariableA("SIMCARD_LOG", log);
    ReleaseTuner();
    ASSERT_EQ(OpenTuner(), 0);

    // The box is the driver's own and waits for nobody; it is closed as a user would.
    HWND box = nullptr;
    for (int i = 0; i < 100 && !box; i++, Sleep(50)) box = FindWindowA("#32770", "Simulated card");
    ASSERT_TRUE(box) << "no box about the port";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); i++) Sleep(20);
    EXPECT_FALSE(IsWindow(box)) << "the box did not close";
    TunerControl* tuner = AppState.tunerControl;
    unsigned percent = 0;
    EXPECT_EQ(tuner->lpVtbl->SetFrequency(tuner, 11778000), S_OK);
    EXPECT_EQ(tuner->lpVtbl->GetSignalPercent(tuner, &percent), S_OK);
    EXPECT_EQ(percent, 50u);
    char text[4096] = "";
    file = fopen(log, "rb");
    ASSERT_TRUE(file);
    text[fread(text, 1, sizeof text - 1, file)] = 0;
    fclose(file);
    char expected[64];
    snprintf(expected, sizeof expected, "phone page: port %u cannot be used on 127.0.0.1", ntohs(address.sin_port));
    EXPECT_TRUE(strstr(text, expected)) << text;
    EXPECT_FALSE(strstr(text, "phone page: http://")) << text;

    closesocket(holder);
    SetEnvironmentVariableA("SIMCARD_SCENARIO", nullptr);
    SetEnvironmentVariableA("SIMCARD_LOG", nullptr);
    ReleaseTuner();
    ASSERT_EQ(OpenTuner(), 0);
}

}  // namespace
