// A look at a configuration's text before any document is built from it: the
// JSON library's event parser (SAX) counts the nesting and stops at the first
// level too deep, so that a hostile file cannot exhaust the stack of the
// parser that builds the document. It also reports every parse error the
// library has, a number too large for a double ("1e999") included, with its
// line and column.
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "control/configPlace.h"

// Deeper than any configuration of control (control/controlConfig.h) needs.
constexpr int kDeepestJson = 32;

// None when the text is JSON nested at most kDeepestJson levels; else the
// first problem, e.g. "at line 1, column 33: nested deeper than 32 levels"
// or "at line 3, column 7: number overflow parsing '1e999'".
std::optional<ConfigError> checkJsonShape(const std::string &text);

// An exception's text without the JSON library's label
// ("[json.exception.parse_error.101] "), for a message of vornhost's own.
std::string jsonErrorText(const std::exception &error);
