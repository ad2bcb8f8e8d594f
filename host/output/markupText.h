// Text inside HTML or XML (the dashboard's page, an SVG chart): the five
// characters that markup gives a meaning written as entities, so that a
// plug-in's failure text or a file name can never open a tag or end an
// attribute. The text must already be UTF-8 (host/output/latin1Text.h).
#pragma once

#include <string>

// "&", "<", ">", "\"" and "'" as "&amp;", "&lt;", "&gt;", "&quot;" and
// "&#39;"; every other byte as it is.
std::string markupEscaped(const std::string &text);
