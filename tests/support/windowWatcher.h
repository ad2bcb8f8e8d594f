// Drives modal dialogs and message boxes from outside, for tests.
//
// Code under test that shows a modal window (MessageBoxA, DialogBoxParamA)
// blocks the calling thread until a user closes it. A WindowWatcher plays
// that user from a thread of its own: it waits for a top-level window of the
// dialog class "#32770", reads it (caption, owner, style, every child control
// with its text), lets a step's action act on it (click buttons, set texts,
// move spin buttons) and moves on to the next step.
//
//   WindowWatcher watcher({
//       {WindowMatch::titled("Error"), dismissWindow},     // a box: read, then OK
//   });
//   functionThatShowsABox();
//   const auto &seen = watcher.finish();
//   ASSERT_TRUE(watcher.completed());
//   EXPECT_EQ(seen[0].text, "...");
//
// Every wait is bounded: each step waits at most stepTimeoutMs for its
// window, and a step whose action closes its window waits at most as long for
// it to go. When a step does not find its window, or a closing action does
// not close it, the watcher stops following the script and closes every
// dialog window still open in the process (recording them in leftovers()),
// so that the thread blocked in the modal call returns and the test fails
// instead of hanging.
//
// A window only matches while it is visible and enabled: a dialog is shown
// after its WM_INITDIALOG, and a window that owns an open modal box is
// disabled, so a step meant for the dialog waits until the box has gone.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Which window a step waits for. All given criteria must hold.
struct WindowMatch {
    std::string title;    // exact caption; empty: any caption
    bool anyTitle = true; // false: the caption must equal title (even when empty)
    DWORD threadId = 0;   // thread that created the window; 0: any
    DWORD processId = 0;  // 0: this process

    static WindowMatch any() { return WindowMatch(); }
    static WindowMatch titled(const std::string &caption, DWORD thread = 0)
    {
        WindowMatch match;
        match.title = caption;
        match.anyTitle = false;
        match.threadId = thread;
        return match;
    }
    static WindowMatch onThread(DWORD thread)
    {
        WindowMatch match;
        match.threadId = thread;
        return match;
    }
};

struct SeenControl {
    HWND window = nullptr;
    int id = 0;            // GetDlgCtrlID, -1 for the usual static id 0xFFFF
    std::string className; // as the system reports it, e.g. "Button", "Static"
    std::string text;
    LONG style = 0;
    LONG exStyle = 0;
    bool visible = false;
};

// A snapshot of one window as the watcher found it.
struct SeenWindow {
    HWND window = nullptr;
    std::string title;
    HWND owner = nullptr; // GetWindow(window, GW_OWNER)
    DWORD threadId = 0;   // the thread that created it
    LONG style = 0;
    LONG exStyle = 0;
    std::vector<SeenControl> controls; // child controls in Z order (template order for dialogs)

    // The message of a message box: the first non-empty text of a visible
    // static control.
    std::string text() const;
    // Captions of the visible buttons, in order.
    std::vector<std::string> buttons() const;
    // True when a visible static control shows an icon.
    bool hasIcon() const;
    // The control with this id, or null.
    const SeenControl *control(int id) const;
};

// What a step does with its window. Returns true when the action closes the
// window; the watcher then waits (bounded) until it has gone.
using WindowAction = std::function<bool(HWND window, const SeenWindow &seen)>;

struct WatchStep {
    WindowMatch match;
    WindowAction action; // empty: dismissWindow
    DWORD timeoutMs = 0; // how long to wait for the window; 0: the watcher's step time-out
    // Stop waiting for the window once the test calls finish(): for a window
    // that only the test's own call can show, such as one box too many of
    // the thread that calls finish() when that call has returned.
    bool onlyDuringCall = false;
};

// Ready-made actions and helpers for actions. They post or send (bounded)
// window messages, so they work from the watcher's thread.

// Presses OK (WM_COMMAND IDOK posted): closes a message box. Returns true.
bool dismissWindow(HWND window, const SeenWindow &seen);
// Posts WM_COMMAND with this control id and notification code to a dialog.
void postCommand(HWND dialog, int id, WORD notifyCode = BN_CLICKED);
// Sets a control's text (WM_SETTEXT, bounded); true when it was set.
bool setControlText(HWND dialog, int id, const std::string &text);
// The current text of a control (WM_GETTEXT, bounded).
std::string controlText(HWND dialog, int id);
// Moves an up-down control (UDM_SETPOS32, bounded); true when sent.
bool setSpinPosition(HWND dialog, int spinId, int position);

// Reads a window now, without acting on it.
SeenWindow readWindow(HWND window);

// Closes every visible dialog window of this process (optionally only those
// of one thread), repeatedly, until none is left or timeoutMs passed.
// Returns the windows it closed.
std::vector<SeenWindow> closeAllDialogs(DWORD timeoutMs = 3000, DWORD threadId = 0);

class WindowWatcher {
public:
    explicit WindowWatcher(std::vector<WatchStep> steps, DWORD stepTimeoutMs = 5000);
    // Finishes (bounded) if the test has not.
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher &) = delete;
    WindowWatcher &operator=(const WindowWatcher &) = delete;

    // Waits until the watcher has run every step or given up, and returns
    // the windows its steps found, one per step that found its window. A
    // step marked onlyDuringCall that is still waiting gives up at once.
    // Dispatches this thread's messages meanwhile, so that windows it owns
    // keep answering boxes shown on other threads.
    const std::vector<SeenWindow> &finish();
    // After finish(): every step found its window, and every closing action
    // closed it.
    bool completed() const;
    // After finish(): windows the watcher had to close because the script
    // could not go on.
    const std::vector<SeenWindow> &leftovers() const;
    // After finish(): what went wrong, for test messages; empty when completed.
    const std::string &failure() const;

private:
    struct State;
    static DWORD WINAPI run(void *state);
    std::shared_ptr<State> state_;
    HANDLE thread_ = nullptr;
};
