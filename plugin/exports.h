// The functions VORN.dll exports (see VORN.def), all stdcall. Text results are
// constants with static storage or the caller's own buffer.
#pragma once

#include <windows.h>

extern "C" {

const char *WINAPI init();
int WINAPI dlltype();
const char *WINAPI getinfo(unsigned int index);
const char *WINAPI getparam(const char *name);
void *WINAPI dllstartup(HWND window, int ignored);
int WINAPI dllshutdown(void *instanceBlock);
int WINAPI pastemeter(int a, int b);

// The configuration dialog (settings/configDialog.cpp); both return 0.
int WINAPI configure();
int WINAPI source_configure(int a, int b);

const char *WINAPI GetDigitalTemp(char *out, const char *sensor);
const char *WINAPI GetAnalogTemp(char *out, const char *sensor);
const char *WINAPI GetFanRPM(char *out, const char *fan);
const char *WINAPI GetFanPercentage(char *out, const char *fan);
const char *WINAPI GetFanMaxRPM(char *out, const char *fan);
const char *WINAPI GetFanManualMode(char *out, const char *fan);
const char *WINAPI GetValue(char *out, const char *number);

} // extern "C"
