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
    return bridge != nullptr && lookUp(bridge, FT_OPEN_ORDINAL, operations.open) &&
           lookUp(bridge, FT_CLOSE_ORDINAL, operations.close) && lookUp(bridge, FT_READ_ORDINAL, operations.read) &&
           lookUp(bridge, FT_WRITE_ORDINAL, operations.write) &&
           lookUp(bridge, FT_SET_BAUD_RATE_ORDINAL, operations.setBaudRate) &&
           lookUp(bridge, FT_SET_DATA_CHARACTERISTICS_ORDINAL, operations.setDataCharacteristics) &&
           lookUp(bridge, FT_SET_TIMEOUTS_ORDINAL, operations.setTimeouts);
}
