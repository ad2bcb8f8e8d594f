// The shared error box that turns a failed system call into a message the
// user can read: "<label> failed with error <code>\n<system text>".
#include "settings/errorBox.h"

#include <cstring>

namespace {

// Room for " failed with error " (19), the line feed, the longest signed
// 32-bit decimal number (11) and the terminating zero, with some to spare.
constexpr size_t kFixedTextRoom = 40;

const char kTitle[] = "Error";
const char kFormat[] = "%s failed with error %d\n%s";

} // namespace

void showApiError(HWND parent, const char *label, DWORD code)
{
    // Read the thread's last-error value before anything else can change it.
    if (code == 0)
        code = GetLastError();
    if (label == nullptr)
        label = "";

    // The system allocates its own text; when it has none for this code the
    // box still names the failed step and the code, with an empty second line.
    char *systemText = nullptr;
    const DWORD systemLength =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char *>(&systemText), 0, nullptr);
    const char *shownSystemText = (systemLength != 0 && systemText != nullptr) ? systemText : "";

    const size_t size = std::strlen(shownSystemText) + std::strlen(label) + kFixedTextRoom;
    char *text = static_cast<char *>(LocalAlloc(LMEM_ZEROINIT, size));
    if (text != nullptr) {
        wsprintfA(text, kFormat, label, static_cast<int>(code), shownSystemText);
        MessageBoxA(parent, text, kTitle, MB_OK);
    } else {
        // Out of memory: still tell the user, from a fixed buffer.
        // wsprintfA never writes more than 1024 characters and the zero.
        char fallback[1025];
        wsprintfA(fallback, kFormat, label, static_cast<int>(code), shownSystemText);
        MessageBoxA(parent, fallback, kTitle, MB_OK);
    }

    if (systemText != nullptr)
        LocalFree(systemText);
    if (text != nullptr)
        LocalFree(text);
}
