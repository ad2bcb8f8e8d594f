// The configuration file of `vornhost control`, read with nlohmann/json into
// ControlConfig along the key tables of control/configKeys.h, and checked
// by control/. Everything wrong with it is one ConfigError naming its
// place the way control/ does: "fans[1].points[2]: ...",
// "fans[0].hysterisis: unknown key ...", or for text that is no JSON, where
// the parser stopped ("parse error at line 3, column 7: ..."). Platform-free:
// host/fans/controlConfigLoad.h says it on the console.
#pragma once

#include <string>

#include "control/controlConfig.h"

// False with the first error when the file cannot be read, is no JSON, has a
// key it does not know, a value of the wrong kind, a required key missing, or
// a value that validateControlConfig refuses.
bool readControlConfig(const std::string &path, ControlConfig &config, ConfigError &error);

// The file's bytes in `text`; false with "cannot read the file" when it
// cannot be read.
bool readControlConfigText(const std::string &path, std::string &text, ConfigError &error);

// readControlConfig for the file's text, read already.
bool parseControlConfig(const std::string &text, ControlConfig &config, ConfigError &error);
