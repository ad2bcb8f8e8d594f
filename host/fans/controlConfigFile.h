// The configuration file of `vornhost control`, read with nlohmann/json into
// ControlConfig (control/controlConfig.h names the keys and defaults) and
// checked there. Everything wrong with it is one ConfigError naming its
// place the way control/ does: "fans[1].points[2]: ...",
// "fans[0].hysterisis: unknown key ...", or for text that is no JSON, where
// the parser stopped ("parse error at line 3, column 7: ...").
#pragma once

#include <string>

#include "control/controlConfig.h"

// False with the first error when the file cannot be read, is no JSON, has a
// key it does not know, a value of the wrong kind, a required key missing, or
// a value that validateControlConfig refuses.
bool readControlConfig(const std::string &path, ControlConfig &config, ConfigError &error);

// The same for the file's text, read already.
bool parseControlConfig(const std::string &text, ControlConfig &config, ConfigError &error);

// readControlConfig for a command: false, with "vornhost: FILE: place:
// message" on stderr, when the configuration cannot be used.
bool loadControlConfig(const std::string &path, ControlConfig &config);
// The same, keeping the bytes it checked in `text`: what is checked is
// what gets used, not the file read again.
bool loadControlConfig(const std::string &path, ControlConfig &config, std::string &text);
