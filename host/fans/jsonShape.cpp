#include "host/fans/jsonShape.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>

namespace {

using Json = nlohmann::json;

// "at line L, column C: " for a byte offset into the text, both from 1.
std::string where(const std::string &text, size_t offset)
{
    offset = std::min(offset, text.size());
    const size_t lineStart = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
    const size_t column = lineStart == std::string::npos || offset == 0 ? offset : offset - lineStart - 1;
    return "at line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
}

class ShapeCheck : public nlohmann::json_sax<Json> {
public:
    explicit ShapeCheck(const std::string &text) : text_(text) {}

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t &) override { return true; }
    bool string(string_t &) override { return true; }
    bool binary(binary_t &) override { return true; }
    bool key(string_t &) override { return true; }
    bool start_object(std::size_t) override { return enter(); }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_array() override { return leave(); }

    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &error) override
    {
        // A parse error's text says where already; the others (a number
        // overflow) do not.
        const std::string text = jsonErrorText(error);
        problem = ConfigError{"", text.rfind("parse error", 0) == 0 ? text : where(text_, position) + text};
        return false;
    }

    std::optional<ConfigError> problem;

private:
    bool enter()
    {
        if (++depth_ <= kDeepestJson)
            return true;
        // The event parser does not say where it is; the deepest bracket is
        // found again from the text.
        problem = ConfigError{"", where(text_, openingAt(kDeepestJson + 1) + 1) + "nested deeper than " +
                                      std::to_string(kDeepestJson) + " levels"};
        return false;
    }
    bool leave()
    {
        --depth_;
        return true;
    }
    // The offset of the opening bracket at that depth, outside strings.
    size_t openingAt(int wanted) const
    {
        int level = 0;
        bool inString = false;
        for (size_t i = 0; i < text_.size(); ++i) {
            const char c = text_[i];
            if (inString) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    inString = false;
            } else if (c == '"') {
                inString = true;
            } else if (c == '[' || c == '{') {
                if (++level == wanted)
                    return i;
            } else if (c == ']' || c == '}') {
                --level;
            }
        }
        return text_.size();
    }

    const std::string &text_;
    int depth_ = 0;
};

} // namespace

std::string jsonErrorText(const std::exception &error)
{
    const std::string what = error.what();
    const size_t label = what.find("] ");
    return label == std::string::npos ? what : what.substr(label + 2);
}

std::optional<ConfigError> checkJsonShape(const std::string &text)
{
    ShapeCheck check(text);
    try {
        Json::sax_parse(text, &check);
    } catch (const std::exception &error) {
        return ConfigError{"", jsonErrorText(error)};
    }
    return check.problem;
}
