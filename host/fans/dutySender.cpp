#include "host/fans/dutySender.h"

#include <optional>

#include "host/device/controllerTurn.h"
#include "host/plugin/storedSettings.h"

namespace {

const char kNoStoredDevice[] = "no device number stored; configure the plug-in";

} // namespace

bool DutySender::load(const std::string &pluginPath, HMODULE plugin)
{
    setFan_ = setFanPercentageOf(plugin);
    return setFan_ != nullptr && device_.load(pluginPath);
}

std::vector<const char *> DutySender::send(const std::vector<FanDuty> &duties, bool direct)
{
    std::vector<const char *> results(duties.size(), nullptr);
    std::vector<size_t> straight; // the duties the plug-in did not send
    std::vector<FanCommandBytes> commands;
    for (size_t i = 0; i < duties.size(); ++i) {
        const std::string fan = std::to_string(duties[i].fan), percent = std::to_string(duties[i].percent);
        if (!direct) {
            char unused[16];
            results[i] = setFan_(unused, fan.c_str(), percent.c_str());
            if (results[i] == nullptr)
                continue;
        }
        FanCommandBytes command;
        if (const char *invalid = encodeFanCommand(fan.c_str(), percent.c_str(), command.data())) {
            results[i] = invalid; // no way will take it
            continue;
        }
        straight.push_back(i);
        commands.push_back(command);
    }
    if (commands.empty())
        return results;
    const std::optional<int> device = storedDeviceNumber();
    std::optional<ControllerTurn> turn;
    if (device)
        turn.emplace();
    size_t written = 0;
    const char *failure = !device         ? kNoStoredDevice
                          : turn->taken() ? device_.sendCommands(*device, commands, written)
                                          : kFanCommandBusy;
    for (size_t k = 0; k < straight.size(); ++k)
        results[straight[k]] = k < written ? nullptr : failure;
    return results;
}
