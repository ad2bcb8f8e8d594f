#include "host/fans/controlConfigLoad.h"

#include <cstdio>

#include "host/fans/controlConfigFile.h"
#include "host/fans/controlReport.h"

bool loadControlConfig(const std::string &path, ControlConfig &config)
{
    std::string text;
    return loadControlConfig(path, config, text);
}

bool loadControlConfig(const std::string &path, ControlConfig &config, std::string &text)
{
    ConfigError error;
    if (readControlConfigText(path, text, error) && parseControlConfig(text, config, error))
        return true;
    std::fprintf(stderr, "vornhost: %s: %s\n", path.c_str(), consoleText(configErrorText(error)).c_str());
    return false;
}
