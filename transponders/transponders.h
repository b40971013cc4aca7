// What the transponder lists offer the main window and start-up.
#pragma once

int ListSatellites();
int LoadTransponderList();
int SelectSatellite();
