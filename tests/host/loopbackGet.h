// One HTTP request to a server on this computer, as a client with no
// library of its own would send it: for the tests of the service's
// dashboard.
#pragma once

#include <string>

// GET `path` from 127.0.0.1:port (HTTP/1.0, Host: localhost), waiting at most
// 10 s: the whole answer, status line and headers included; empty when
// nothing answers.
std::string loopbackGet(int port, const std::string &path);
