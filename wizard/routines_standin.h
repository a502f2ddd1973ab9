// The shared wizard routines (kept as an include for the pages that name this header).
#pragma once
#include "wizard/wizard_routines.h"
