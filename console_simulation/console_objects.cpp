#include "console_simulation/console_objects.h"

CSimulation g_Simulation;
CDebugLog g_DebugLog;
