#include "host/output/consoleTable.h"

#include <cstdio>

ConsoleTable::ConsoleTable()
{
    out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    console_ = out_ != nullptr && out_ != INVALID_HANDLE_VALUE && GetConsoleMode(out_, &mode);
}

void ConsoleTable::beforeTable()
{
    std::fflush(stdout);
    CONSOLE_SCREEN_BUFFER_INFO info;
    lineWidth_ = console_ && GetConsoleScreenBufferInfo(out_, &info) && info.dwSize.X > 1 ? info.dwSize.X - 1 : 0;
    if (console_ && placed_)
        SetConsoleCursorPosition(out_, top_);
    else if (!console_ && placed_)
        std::printf("\n");
}

void ConsoleTable::afterTable(int lines)
{
    std::fflush(stdout);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console_ && GetConsoleScreenBufferInfo(out_, &info)) {
        top_.X = 0;
        top_.Y = static_cast<SHORT>(info.dwCursorPosition.Y >= lines ? info.dwCursorPosition.Y - lines : 0);
    }
    placed_ = true;
}
