// The console's one offline-simulation object and one call logger. They live from program start-up
// to program exit; the console links the target psa_console_objects, which defines them.
#pragma once
#include "console_simulation/debug_log.h"
#include "console_simulation/simulation.h"

extern CSimulation g_Simulation;
extern CDebugLog g_DebugLog;
