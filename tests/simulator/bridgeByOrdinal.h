// The seven bridge operations of a loaded FTD2XX.dll, looked up by ordinal,
// the way the plug-in's import table binds them.
#pragma once

#include <windows.h>

#include "bridge/d2xx.h"

struct Bridge {
    decltype(&FT_Open) open = nullptr;
    decltype(&FT_Close) close = nullptr;
    decltype(&FT_Read) read = nullptr;
    decltype(&FT_Write) write = nullptr;
    decltype(&FT_SetBaudRate) setBaudRate = nullptr;
    decltype(&FT_SetDataCharacteristics) setDataCharacteristics = nullptr;
    decltype(&FT_SetTimeouts) setTimeouts = nullptr;

    // True when all seven were found.
    bool load(HMODULE dll)
    {
        open = byOrdinal<decltype(open)>(dll, 1);
        close = byOrdinal<decltype(close)>(dll, 2);
        read = byOrdinal<decltype(read)>(dll, 3);
        write = byOrdinal<decltype(write)>(dll, 4);
        setBaudRate = byOrdinal<decltype(setBaudRate)>(dll, 7);
        setDataCharacteristics = byOrdinal<decltype(setDataCharacteristics)>(dll, 8);
        setTimeouts = byOrdinal<decltype(setTimeouts)>(dll, 17);
        return open && close && read && write && setBaudRate && setDataCharacteristics && setTimeouts;
    }

private:
    template <typename F>
    static F byOrdinal(HMODULE m, int ordinal)
    {
        return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal))));
    }
};
