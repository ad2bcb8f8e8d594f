// libFuzzer target for the configuration reader of vornhost control: any
// bytes as the file's text. Whatever it takes must be a configuration that
// control can use; whatever it refuses must say why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/fans/controlConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    ControlConfig config;
    ConfigError error;
    if (!parseControlConfig(text, config, error)) {
        if (error.message.empty())
            std::abort();
        return 0;
    }
    if (validateControlConfig(config) || config.fans.empty())
        std::abort();
    return 0;
}
