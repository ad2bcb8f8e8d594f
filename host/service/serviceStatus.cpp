#include "host/service/serviceStatus.h"

#include <cstdio>

#include "host/fans/controlReport.h"
#include "host/output/jsonOutput.h"
#include "host/service/serviceFiles.h"
#include "host/service/serviceManager.h"

int printServiceStatus(bool json)
{
    const std::string state = serviceState();
    std::string text;
    const JsonDocument last =
        readReplacedFile(serviceStatusPath(), text) ? JsonDocument::parse(text, nullptr, false) : JsonDocument();
    const bool known = !last.is_discarded() && last.is_object();
    if (json) {
        JsonDocument line;
        line["service"] = kServiceName;
        line["state"] = state;
        line["poll"] = known && last.contains("poll") ? last["poll"] : JsonDocument(nullptr);
        line["alarm"] = known && last.contains("alarm") ? last["alarm"] : JsonDocument(nullptr);
        printJsonLine(line);
        return 0;
    }
    std::printf("%s (%s): %s\n", kServiceDisplayName, kServiceName, state.c_str());
    if (!known || !last.contains("poll") || last["poll"].is_null()) {
        std::printf("no poll recorded in %s\n", serviceStatusPath().c_str());
        return 0;
    }
    const JsonDocument &poll = last["poll"];
    std::printf("last poll %s%s%s\n", poll.value("time", "").c_str(), poll["error"].is_null() ? "" : ": ",
                poll["error"].is_null() ? "" : poll["error"].get<std::string>().c_str());
    for (const JsonDocument &fan : poll["fans"]) {
        std::string input = fan["input"].is_null() ? "-" : fan["input"].dump();
        std::printf("  fan %d: input %s C, duty %d %%, %s\n", fan.value("fan", 0), input.c_str(),
                    fan.value("target", 0), fan.value("reason", "").c_str());
    }
    if (last.contains("alarm") && !last["alarm"].is_null()) {
        const JsonDocument &alarm = last["alarm"];
        std::printf("last alarm %s: %s (%s): %s\n", alarm.value("time", "").c_str(), alarm.value("alarm", "").c_str(),
                    alarm.value("severity", "").c_str(), consoleText(alarm.value("message", "")).c_str());
    }
    return 0;
}
