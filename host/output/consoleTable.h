// A table that stays in place on a console: each one starts where the first
// began. Every table has the same number of lines, each one console row: cut
// short of the row's end (a line that reached it would wrap, and the table
// would no longer start where it is put back) and padded to it, so a new
// table covers the old one entirely. Written to a file or pipe, the tables
// follow one another, a blank line between them.
#pragma once

#include <windows.h>

class ConsoleTable {
public:
    ConsoleTable();
    bool console() const { return console_; }
    // The characters one line may have on the console: its width less one;
    // 0 when not writing to a console.
    int lineWidth() const { return lineWidth_; }

    void beforeTable();
    // After a table of `lines` lines: where it began, even if the console
    // scrolled while it was written.
    void afterTable(int lines);

private:
    HANDLE out_ = nullptr;
    bool console_ = false;
    bool placed_ = false;
    int lineWidth_ = 0;
    COORD top_ = {0, 0};
};
