// The benchmark's output: one table row per figure (value, target, whether it
// is met), followed by the details and method notes each measurement left.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

enum class Verdict { Met, Missed, Info };

// printf into a std::string.
std::string format(const char *fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

class Report {
public:
    void row(const std::string &figure, const std::string &value, const std::string &target, Verdict verdict);
    // Starts a block of detail lines under a heading.
    void section(const std::string &title);
    void detail(const char *fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
    // A measurement that could not be made at all.
    void failure(const std::string &what);

    bool failed() const { return !failures_.empty(); }
    int missedCount() const;
    void print(FILE *out, const std::string &header) const;

private:
    struct Row {
        std::string figure, value, target;
        Verdict verdict;
    };
    std::vector<Row> rows_;
    std::vector<std::string> details_;
    std::vector<std::string> failures_;
};
