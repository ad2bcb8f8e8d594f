#include "tests/support/windowWatcher.h"

#include <commctrl.h>

#include <atomic>
#include <set>

namespace {

constexpr DWORD kPollMs = 10;
// A thread that has just closed a window may be slow to answer on a loaded
// machine; the bound only matters when it never answers.
constexpr UINT kSendTimeoutMs = 5000;

std::string narrow(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

std::string className(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The caption, read without sending a message: the owning thread may be busy.
std::string caption(HWND window)
{
    wchar_t text[1024] = {};
    InternalGetWindowText(window, text, sizeof text / sizeof text[0]);
    return narrow(text);
}

// A control's text through WM_GETTEXT (edits keep theirs privately), bounded.
std::string sentText(HWND control)
{
    char text[2048] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return caption(control);
    return text;
}

bool isDialogOfInterest(HWND window, DWORD processId, DWORD threadId, bool mustBeEnabled)
{
    DWORD windowProcess = 0;
    const DWORD windowThread = GetWindowThreadProcessId(window, &windowProcess);
    if (windowProcess != processId || (threadId != 0 && windowThread != threadId))
        return false;
    if (!IsWindowVisible(window) || (mustBeEnabled && !IsWindowEnabled(window)))
        return false;
    return className(window) == "#32770";
}

struct Search {
    DWORD processId;
    DWORD threadId;
    bool mustBeEnabled;
    std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM context)
{
    Search &search = *reinterpret_cast<Search *>(context);
    if (isDialogOfInterest(window, search.processId, search.threadId, search.mustBeEnabled))
        search.found.push_back(window);
    return TRUE;
}

std::vector<HWND> dialogs(DWORD processId, DWORD threadId, bool mustBeEnabled)
{
    Search search{processId == 0 ? GetCurrentProcessId() : processId, threadId, mustBeEnabled, {}};
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findMatch(const WindowMatch &match)
{
    for (HWND window : dialogs(match.processId, match.threadId, true)) {
        if (match.anyTitle || caption(window) == match.title)
            return window;
    }
    return nullptr;
}

BOOL CALLBACK collectChild(HWND child, LPARAM context)
{
    auto &children = *reinterpret_cast<std::vector<HWND> *>(context);
    children.push_back(child);
    return TRUE;
}

// Waits until a closed window is destroyed, as a modal dialog or box is when
// its modal loop ends. Only hidden is not enough: the owning thread may still
// be busy closing it, and the next step should find it responsive. A window
// that is merely hidden at the end of the wait counts as gone.
bool waitUntilGone(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return !IsWindowVisible(window);
        Sleep(kPollMs);
    }
    return true;
}

} // namespace

std::string SeenWindow::text() const
{
    for (const SeenControl &c : controls) {
        if (c.visible && _stricmp(c.className.c_str(), "Static") == 0 && !c.text.empty())
            return c.text;
    }
    return std::string();
}

std::vector<std::string> SeenWindow::buttons() const
{
    std::vector<std::string> result;
    for (const SeenControl &c : controls) {
        if (c.visible && _stricmp(c.className.c_str(), "Button") == 0)
            result.push_back(c.text);
    }
    return result;
}

bool SeenWindow::hasIcon() const
{
    for (const SeenControl &c : controls) {
        if (!c.visible || _stricmp(c.className.c_str(), "Static") != 0 || (c.style & SS_TYPEMASK) != SS_ICON)
            continue;
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutA(c.window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &icon) && icon != 0)
            return true;
    }
    return false;
}

const SeenControl *SeenWindow::control(int id) const
{
    for (const SeenControl &c : controls) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

SeenWindow readWindow(HWND window)
{
    SeenWindow seen;
    seen.window = window;
    seen.title = caption(window);
    seen.owner = GetWindow(window, GW_OWNER);
    seen.threadId = GetWindowThreadProcessId(window, nullptr);
    seen.style = GetWindowLongA(window, GWL_STYLE);
    seen.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    std::vector<HWND> children;
    EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (GetParent(child) != window)
            continue; // a grandchild, e.g. an edit inside a combo box
        SeenControl c;
        c.window = child;
        c.id = static_cast<int>(static_cast<short>(GetDlgCtrlID(child)));
        c.className = className(child);
        c.text = sentText(child);
        c.style = GetWindowLongA(child, GWL_STYLE);
        c.exStyle = GetWindowLongA(child, GWL_EXSTYLE);
        c.visible = (c.style & WS_VISIBLE) != 0;
        seen.controls.push_back(c);
    }
    return seen;
}

bool dismissWindow(HWND window, const SeenWindow & /*seen*/)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
}

void postCommand(HWND dialog, int id, WORD notifyCode)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), notifyCode), 0);
}

bool setControlText(HWND dialog, int id, const std::string &text)
{
    HWND control = GetDlgItem(dialog, id);
    DWORD_PTR result = 0;
    return control != nullptr &&
           SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &result) != 0 &&
           result != 0;
}

std::string controlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? sentText(control) : std::string();
}

bool setSpinPosition(HWND dialog, int spinId, int position)
{
    HWND spin = GetDlgItem(dialog, spinId);
    DWORD_PTR result = 0;
    return spin != nullptr &&
           SendMessageTimeoutA(spin, UDM_SETPOS32, 0, position, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

std::vector<SeenWindow> closeAllDialogs(DWORD timeoutMs, DWORD threadId)
{
    std::vector<SeenWindow> closed;
    std::set<HWND> recorded;
    const DWORD start = GetTickCount();
    for (int round = 0;; ++round) {
        // Disabled ones too: a dialog under an open box is disabled.
        const std::vector<HWND> open = dialogs(0, threadId, false);
        if (open.empty() || GetTickCount() - start >= timeoutMs)
            break;
        for (HWND window : open) {
            if (recorded.insert(window).second)
                closed.push_back(readWindow(window));
            // Cancel ends a dialog and a message box alike; OK as a second try.
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(round % 2 == 0 ? IDCANCEL : IDOK, BN_CLICKED), 0);
        }
        Sleep(100);
    }
    return closed;
}

struct WindowWatcher::State {
    std::vector<WatchStep> steps;
    DWORD stepTimeoutMs = 0;
    std::vector<SeenWindow> seen;
    std::vector<SeenWindow> leftovers;
    std::string failure;
    bool completed = false;
    bool finished = false;
    std::atomic<bool> finishing{false}; // the test is in finish()
};

DWORD WINAPI WindowWatcher::run(void *parameter)
{
    // The thread owns one reference to the state for its whole run.
    auto *handoff = static_cast<std::shared_ptr<State> *>(parameter);
    std::shared_ptr<State> state = *handoff;
    delete handoff;

    size_t index = 0;
    for (; index < state->steps.size(); ++index) {
        const WatchStep &step = state->steps[index];
        HWND window = nullptr;
        const DWORD timeout = step.timeoutMs != 0 ? step.timeoutMs : state->stepTimeoutMs;
        const DWORD start = GetTickCount();
        while ((window = findMatch(step.match)) == nullptr && GetTickCount() - start < timeout &&
               !(step.onlyDuringCall && state->finishing.load()))
            Sleep(kPollMs);
        if (window == nullptr) {
            state->failure =
                "step " + std::to_string(index + 1) + ": no window " +
                (step.match.anyTitle ? std::string("of the dialog class") : "\"" + step.match.title + "\"") +
                " appeared in time";
            break;
        }
        // Make sure the window's thread is back in its message loop (it may
        // still be busy closing an earlier window) before reading or acting.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &ignored);
        state->seen.push_back(readWindow(window));
        const bool closes =
            step.action ? step.action(window, state->seen.back()) : dismissWindow(window, state->seen.back());
        if (closes && !waitUntilGone(window, state->stepTimeoutMs)) {
            state->failure =
                "step " + std::to_string(index + 1) + ": \"" + state->seen.back().title + "\" did not close";
            break;
        }
    }
    state->completed = index == state->steps.size();
    if (!state->completed) {
        // Unblock whoever waits in a modal loop, so that the test fails
        // instead of hanging.
        const DWORD thread = state->steps[index].match.threadId;
        state->leftovers = closeAllDialogs(state->stepTimeoutMs, thread);
    }
    return 0;
}

WindowWatcher::WindowWatcher(std::vector<WatchStep> steps, DWORD stepTimeoutMs) : state_(std::make_shared<State>())
{
    state_->steps = std::move(steps);
    state_->stepTimeoutMs = stepTimeoutMs;
    auto *handoff = new std::shared_ptr<State>(state_);
    thread_ = CreateThread(nullptr, 0, run, handoff, 0, nullptr);
    if (thread_ == nullptr) {
        delete handoff;
        state_->failure = "cannot start the watcher thread";
        state_->finished = true;
    }
}

WindowWatcher::~WindowWatcher()
{
    finish();
    if (thread_ != nullptr)
        CloseHandle(thread_);
}

const std::vector<SeenWindow> &WindowWatcher::finish()
{
    state_->finishing.store(true);
    if (!state_->finished && thread_ != nullptr) {
        // Each step is bounded by two step time-outs, the clean-up by one.
        const DWORD bound = state_->stepTimeoutMs * (2 * static_cast<DWORD>(state_->steps.size()) + 2) + 5000;
        // Keep this thread's windows answering while waiting: a box shown on
        // another thread and owned by one of them sends messages here (the
        // owner is disabled before the box appears).
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= bound)
                break;
            const DWORD woken = MsgWaitForMultipleObjects(1, &thread_, FALSE, bound - elapsed, QS_ALLINPUT);
            if (woken == WAIT_OBJECT_0) {
                state_->finished = true;
                break;
            }
            if (woken != WAIT_OBJECT_0 + 1)
                break;
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (!state_->finished)
            state_->failure = "the watcher did not end in time";
    }
    // While the thread still runs its results are not ours to read.
    static const std::vector<SeenWindow> none;
    return state_->finished ? state_->seen : none;
}

bool WindowWatcher::completed() const
{
    return state_->finished && state_->completed;
}

const std::vector<SeenWindow> &WindowWatcher::leftovers() const
{
    static const std::vector<SeenWindow> none;
    return state_->finished ? state_->leftovers : none;
}

const std::string &WindowWatcher::failure() const
{
    return state_->failure;
}
