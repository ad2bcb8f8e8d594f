// Prometheus's text exposition format, version 0.0.4, as /metrics serves it:
// each family's "# HELP" and "# TYPE" lines once, then its samples, one per
// line, "name{label="value",...} number". Writing through this class keeps
// that order: a sample always belongs to the family started last.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A sample's labels, name and value, in the order written.
using MetricLabels = std::vector<std::pair<std::string, std::string>>;

class ExpositionText {
public:
    // `type` "gauge" or "counter"; `help` one line of plain text.
    void family(const std::string &name, const char *type, const std::string &help);
    void sample(const MetricLabels &labels, double value);
    const std::string &text() const { return text_; }

private:
    std::string family_;
    std::string text_;
};

// A label's value between its quotes: backslash, double quote and line feed
// as \\, \" and \n.
std::string escapedLabelValue(const std::string &value);

// A sample's number: the shortest decimal that reads back as it ("41.5",
// "1796804380.031"), "NaN", "+Inf" or "-Inf".
std::string sampleValue(double value);
