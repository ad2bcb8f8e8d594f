// vornhost: a command-line host for meter plug-ins. It loads VORN.dll the way
// the desktop host does and prints what the desktop would show, finds and
// checks the controller, and draws its logs. The registrations below are the
// one list of commands: each names its arguments and options, binds them to
// the command's options and gives the function that runs it; the parser and
// every usage text are made from them.
#include <string>

#include "control/controlConfig.h"
#include "control/pollSchedule.h"
#include "host/cli/commandSet.h"
#include "host/cli/wholeNumberOption.h"
#include "host/commands/alarmTestCommand.h"
#include "host/commands/configureCommand.h"
#include "host/commands/controlCommand.h"
#include "host/commands/listDevicesCommand.h"
#include "host/commands/plotCommand.h"
#include "host/commands/readDeviceCommand.h"
#include "host/commands/serviceCommand.h"
#include "host/commands/setFanCommand.h"
#include "host/commands/showCommand.h"
#include "host/commands/watchCommand.h"
#include "host/plugin/pluginLoader.h"
#include "host/service/serviceManager.h"

namespace {

const char kJsonHelp[] = "print one JSON document instead of text";
constexpr long kMaxDeviceNumber = 0x7FFFFFFF;

void addShow(CommandSet &commands)
{
    auto [command, options] = commands.add("show",
                                           "identity, meter functions with their prompts, and every meter value over\n"
                                           "its whole index range, without starting the plug-in",
                                           runShow);
    command->add_flag("--json", options->json, kJsonHelp);
}

void addWatch(CommandSet &commands)
{
    auto [command, options] = commands.add("watch",
                                           "starts the plug-in as the desktop host does and shows every reading from\n"
                                           "its first poll on, as a table that stays in place, until Ctrl-C",
                                           runWatch);
    command
        ->add_option("--interval", options->intervalSeconds,
                     "time between readings, 1 to " + std::to_string(kLongestPollIntervalSeconds) + " (default 1)")
        ->type_name("SECONDS")
        ->transform(wholeNumber(1, kLongestPollIntervalSeconds));
    command->add_option("--count", options->count, "stop after N readings")
        ->type_name("N")
        ->transform(wholeNumber(1, kMaxCount));
    command->add_option("--seconds", options->seconds, "stop after N seconds, at most 31536000 (a year)")
        ->type_name("N")
        ->transform(wholeNumber(1, kMaxWatchSeconds));
    command->add_flag("--json", options->json,
                      "one JSON object per reading and line (JSON Lines) instead of the table");
    command->add_option("--csv", options->csvPath, "also write each reading as a row of FILE (CSV), flushed at once")
        ->type_name("FILE");
    command
        ->add_option("--set-fan-after", options->setFanAfter,
                     "send a fan command that far into the watch (at most a year)")
        ->type_name("SECONDS FAN PERCENT")
        ->transform(wholeNumber(0, kMaxWatchSeconds).application_index(0));
}

void addListDevices(CommandSet &commands)
{
    auto [command, options] =
        commands.add("list-devices",
                     "every device the FTDI bridge library knows: the device number to enter\n"
                     "as USB Device ID, serial number, description, location, and \"in use\" when\n"
                     "another program has it open; nothing is written to any device",
                     runListDevices);
    command->add_flag("--probe", options->probe,
                      "send the status request to each free device and say which one is the controller");
    command->add_flag("--json", options->json, kJsonHelp);
}

void addReadDevice(CommandSet &commands)
{
    auto [command, options] =
        commands.add("read-device",
                     "one status exchange with device number N (or the one with serial number S)\n"
                     "through the bridge library, as the plug-in's poll talks to it, decoded field by field",
                     runReadDevice);
    options->device.command = "read-device";
    command->add_option("N", options->device.number)->transform(wholeNumber(0, kMaxDeviceNumber));
    command->add_option("--serial", options->device.serial, "the device with this serial number, in place of N")
        ->type_name("S");
    command->add_flag("--json", options->json, kJsonHelp);
}

void addSetFan(CommandSet &commands)
{
    auto [command, options] =
        commands.add("set-fan",
                     "sets fan FAN (0-3) to PERCENT (0-100); through the plug-in's SetFanPercentage\n"
                     "with the stored device number, once its first poll is in (one refresh\n"
                     "interval), or straight to the device chosen here",
                     runSetFan);
    options->device.command = "set-fan";
    // Both as given: the plug-in's own checks and texts judge them.
    command->add_option("FAN", options->fan)->required();
    command->add_option("PERCENT", options->percent)->required();
    command->add_option("--device", options->device.number, "send to device number N")
        ->type_name("N")
        ->transform(wholeNumber(0, kMaxDeviceNumber));
    command->add_option("--serial", options->device.serial, "send to the device with serial number S")->type_name("S");
}

void addConfigure(CommandSet &commands)
{
    commands.add("configure",
                 "the plug-in's settings dialog (device number, refresh rate), then the\n"
                 "readings after its next poll",
                 runConfigure);
}

void addControl(CommandSet &commands)
{
    auto [command, options] = commands.add("control",
                                           "drives the fans named in FILE (JSON) along their temperature curves, with\n"
                                           "fail-safe duties when a reading fails, until Ctrl-C or --count; each fan\n"
                                           "then gets its exit duty; fans not named are left alone",
                                           runControl);
    command->add_option("--config", options->configPath, "the fans, their sensors and curves (README.md)")
        ->type_name("FILE")
        ->required();
    command->add_flag("--json", options->json, "one JSON object per poll and line (JSON Lines) instead of the table");
    command->add_option("--csv", options->csvPath, "also write each poll as a row of FILE (CSV), flushed at once")
        ->type_name("FILE");
    command->add_option("--count", options->count, "stop after N polls (then the exit duties)")
        ->type_name("N")
        ->transform(wholeNumber(1, kMaxCount));
    command->add_flag("--dry-run", options->dryRun, "decide and print the duties, send none");
    command
        ->add_option("--http", options->httpPort,
                     "serve a live dashboard on http://localhost:PORT/ (this computer only; README.md)")
        ->type_name("PORT")
        ->transform(wholeNumber(1, static_cast<long>(kHighestPort)));
}

void addService(CommandSet &commands)
{
    auto [command, options] = commands.add("service",
                                           "fan control as a Windows service from boot to shutdown: install\n"
                                           "--config FILE (needs \"device\") [--account LocalSystem], uninstall,\n"
                                           "start, stop (administrator rights), status [--json]",
                                           runService);
    command->add_option("ACTION", options->action)
        ->required()
        ->check(CLI::IsMember({"install", "uninstall", "start", "stop", "status", "run"}));
    command->add_option("--config", options->configPath, "install: the fans, their sensors and curves (README.md)")
        ->type_name("FILE");
    command->add_option("--account", options->account, "install: the account it runs as (README.md)")
        ->type_name("ACCOUNT")
        // No description: the synopsis says ACCOUNT alone, as the README's
        // command table does; a wrong name is refused with the list.
        ->check(CLI::IsMember(serviceAccountNames()).description(""));
    command->add_flag("--json", options->json, "status: one JSON object instead of text");
}

void addAlarm(CommandSet &commands)
{
    auto [command, options] =
        commands.add("alarm", "runs the alarm program of FILE once with a test event", runAlarmTest);
    command->add_flag("--test", options->test, "the test event (VORN_EVENT=test)")->required();
    command->add_option("--config", options->configPath, "the configuration with \"alarms\": {\"command\": ...}")
        ->type_name("FILE")
        ->required();
}

void addPlot(CommandSet &commands)
{
    auto [command, options] = commands.add("plot",
                                           "draws a CSV log of watch or control as an SVG picture: temperatures in\n"
                                           "degrees Celsius and fan duty in percent over time, a failed reading as\n"
                                           "a gap; with --config, the sensors that drive each fan stand out in its\n"
                                           "colour",
                                           runPlot);
    command->add_option("CSV", options->csvPath)->required();
    command->add_option("--out", options->svgPath, "where the picture goes (default: CSV's name with .svg)")
        ->type_name("FILE.svg");
    command
        ->add_option("--config", options->configPath,
                     "a control configuration: its fans' sensors are marked (checked as control does)")
        ->type_name("FILE.json");
}

} // namespace

int main(int argc, char **argv)
{
    CommandSet commands(pluginBesideProgram());
    addShow(commands); // the first: what runs without a command
    addWatch(commands);
    addListDevices(commands);
    addReadDevice(commands);
    addSetFan(commands);
    addConfigure(commands);
    addControl(commands);
    addService(commands);
    addAlarm(commands);
    addPlot(commands);
    return commands.run(argc, argv);
}
