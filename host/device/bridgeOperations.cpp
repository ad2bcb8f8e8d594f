#include "host/device/bridgeOperations.h"

#include "host/process/functionLookup.h"

namespace {

template <class Function>
bool lookUp(HMODULE bridge, WORD ordinal, Function &out)
{
    out = asFunction<Function>(GetProcAddress(bridge, MAKEINTRESOURCEA(ordinal)));
    return out != nullptr;
}

} // namespace

bool bridgeOperationsOf(HMODULE bridge, BridgeOperations &operations)
{
    // The ordinals of bridge/FTD2XX.def.
    return bridge != nullptr && lookUp(bridge, 1, operations.open) &&
           lookUp(bridge, FT_CLOSE_ORDINAL, operations.close) && lookUp(bridge, 3, operations.read) &&
           lookUp(bridge, 4, operations.write) && lookUp(bridge, 7, operations.setBaudRate) &&
           lookUp(bridge, 8, operations.setDataCharacteristics) && lookUp(bridge, 17, operations.setTimeouts);
}
