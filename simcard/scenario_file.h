#pragma once
// The scenario of a program beside the card: the file that SIMCARD_SCENARIO
// names, the file the card reads too, or else simcard.ini beside the program,
// where the card finds it when both sit beside orvalis.exe (an installed
// practice set). Without either, an empty text: the built-in signal.
#include "simcard/scenario.h"

void ReadProgramScenario(Scenario* scenario);
