// The bridge library's seven operations looked up in FTD2XX.dll by the
// ordinals bridge/FTD2XX.def gives them, as the plug-in binds them, for the
// exchanges vornhost makes itself (controller/controllerExchange.h): no
// VORN.dll needed.
#pragma once

#include <windows.h>

#include "controller/controllerExchange.h"

// Fills `operations` from the library; false when it lacks one of them.
bool bridgeOperationsOf(HMODULE bridge, BridgeOperations &operations);
