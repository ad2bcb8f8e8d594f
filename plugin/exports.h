// Every function VORN.dll exports (see VORN.def), all stdcall, each with the
// type of a pointer to it, for hosts that look them up by name. Text results
// are constants with static storage or the caller's own buffer; the caller
// never frees one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bridge/d2xx.h"

extern "C" {

// Identity, meter list, prompts, start and stop.
const char *WINAPI init();
int WINAPI dlltype();
const char *WINAPI getinfo(unsigned int index);
const char *WINAPI getparam(const char *name);
void *WINAPI dllstartup(HWND window, int ignored);
int WINAPI dllshutdown(void *instanceBlock);
int WINAPI pastemeter(int a, int b);

// The configuration dialog; both return 0.
int WINAPI configure();
int WINAPI source_configure(int a, int b);

// The meters: the output buffer with the reading, or a constant text.
const char *WINAPI GetDigitalTemp(char *out, const char *sensor);
const char *WINAPI GetAnalogTemp(char *out, const char *sensor);
const char *WINAPI GetFanRPM(char *out, const char *fan);
const char *WINAPI GetFanPercentage(char *out, const char *fan);
const char *WINAPI GetFanMaxRPM(char *out, const char *fan);
const char *WINAPI GetFanManualMode(char *out, const char *fan);
const char *WINAPI GetValue(char *out, const char *number);

// The device functions: null for success, otherwise a constant failure text.
const char *WINAPI openConnection(int deviceNumber, FT_HANDLE *handleOut);
const char *WINAPI readFromVorn(FT_HANDLE handle, uint8_t *frameOut);
const char *WINAPI SetFanPercentage(char *outputBuffer, const char *fanText, const char *percentText);

} // extern "C"

// Pointer types of the exports, one per signature.
using InitFn = decltype(&init);
using DllTypeFn = decltype(&dlltype);
using GetInfoFn = decltype(&getinfo);
using GetParamFn = decltype(&getparam);
using DllStartupFn = decltype(&dllstartup);
using DllShutdownFn = decltype(&dllshutdown);
using PasteMeterFn = decltype(&pastemeter);
using ConfigureFn = decltype(&configure);
using SourceConfigureFn = decltype(&source_configure);
using MeterFn = decltype(&GetValue);
using OpenConnectionFn = decltype(&openConnection);
using ReadFromVornFn = decltype(&readFromVorn);
using SetFanPercentageFn = decltype(&SetFanPercentage);
