#include "host/process/clocks.h"

#include <windows.h>

uint64_t tickCountMs()
{
    return GetTickCount64();
}

uint64_t awakeMs()
{
    ULONGLONG hundredsOfNs = 0;
    QueryUnbiasedInterruptTime(&hundredsOfNs);
    return hundredsOfNs / 10000;
}
