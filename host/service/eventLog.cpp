#include "host/service/eventLog.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VORN";

WORD entryType(AlarmSeverity severity)
{
    switch (severity) {
    case AlarmSeverity::Error:
        return EVENTLOG_ERROR_TYPE;
    case AlarmSeverity::Warning:
        return EVENTLOG_WARNING_TYPE;
    case AlarmSeverity::Information:
        break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

} // namespace

bool registerEventSource(const std::string &messageFile)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
        result = RegSetValueExA(key, "EventMessageFile", 0, REG_SZ, reinterpret_cast<const BYTE *>(messageFile.c_str()),
                                static_cast<DWORD>(messageFile.size() + 1));
        if (result == ERROR_SUCCESS)
            result = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&types),
                                    sizeof types);
        RegCloseKey(key);
    }
    if (result == ERROR_SUCCESS)
        return true;
    std::fprintf(stderr, "vornhost: cannot register the event source %s (error %ld)\n", kEventSource, result);
    return false;
}

bool removeEventSource()
{
    const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSourceKey);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        return true;
    std::fprintf(stderr, "vornhost: cannot remove the event source %s (error %ld)\n", kEventSource, result);
    return false;
}

void writeEvent(AlarmSeverity severity, const std::string &text)
{
    const HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
    if (source == nullptr)
        return;
    const char *strings[] = {text.c_str()};
    ReportEventA(source, entryType(severity), 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}
