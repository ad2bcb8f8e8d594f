#include "host/web/expositionText.h"

#include <cmath>

#include "control/numberText.h"

namespace {

// The format's escapes: backslash and line feed everywhere, the double
// quote inside a label's value.
std::string escaped(const std::string &text, bool inQuotes)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && inQuotes)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

} // namespace

void ExpositionText::family(const std::string &name, const char *type, const std::string &help)
{
    family_ = name;
    text_ += "# HELP " + name + " " + escaped(help, false) + "\n";
    text_ += "# TYPE " + name + " " + type + "\n";
}

void ExpositionText::sample(const MetricLabels &labels, double value)
{
    text_ += family_;
    if (!labels.empty()) {
        text_ += "{";
        for (size_t i = 0; i < labels.size(); ++i)
            text_ += (i ? "," : "") + labels[i].first + "=\"" + escapedLabelValue(labels[i].second) + "\"";
        text_ += "}";
    }
    text_ += " " + sampleValue(value) + "\n";
}

std::string escapedLabelValue(const std::string &value)
{
    return escaped(value, true);
}

std::string sampleValue(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "+Inf";
    return numberText(value);
}
