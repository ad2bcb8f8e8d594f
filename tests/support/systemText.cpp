#include "tests/support/systemText.h"

std::string systemText(DWORD code)
{
    char *text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char *>(&text), 0, nullptr);
    std::string result = length != 0 && text != nullptr ? text : "";
    if (text != nullptr)
        LocalFree(text);
    return result;
}
