// Helpers for tests that drive real windows: message pumping, deferred actions that run
// inside modal loops, recording message boxes, and key states for accelerators.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "strings.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace guitest {

// Dispatches what is queued. A WM_QUIT is taken out of the queue (it would end the next
// modal loop at once) and its exit code kept: the result, or -1 when none came.
inline int PumpMessages(int rounds = 3)
{
    int quitCode = -1;
    for (int i = 0; i < rounds; ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
    return quitCode;
}

// Runs action once, after delayMs, from whatever loop dispatches this thread's messages
// (modal dialogs and menus included) - unless the object goes first: a test that fails
// before the action ran must not leave it to fire into a later test.
class Deferred
{
public:
    Deferred(UINT delayMs, std::function<void()> action) : m_action(std::move(action))
    {
        m_id = SetTimer(nullptr, 0, delayMs, &Fire);
        Pending()[m_id] = this;
    }
    ~Deferred() { Cancel(); }
    Deferred(const Deferred &) = delete;
    Deferred &operator=(const Deferred &) = delete;

    void Cancel()
    {
        if (m_id) {
            KillTimer(nullptr, m_id);
            Pending().erase(m_id);
            m_id = 0;
        }
    }
    bool Fired() const { return m_fired; }

private:
    static std::map<UINT_PTR, Deferred *> &Pending()
    {
        static std::map<UINT_PTR, Deferred *> pending;
        return pending;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD)
    {
        KillTimer(nullptr, id);
        auto it = Pending().find(id);
        if (it == Pending().end())
            return;
        Deferred *self = it->second;
        Pending().erase(it);
        self->m_id = 0;
        self->m_fired = true;
        self->m_action();
    }

    std::function<void()> m_action;
    UINT_PTR m_id = 0;
    bool m_fired = false;
};

// Ends whatever modal loop of this thread is still running after timeoutMs, so that a test
// whose own way out failed reports a failure instead of hanging: menus close, dialogs and
// property sheets are cancelled, then ended by force.
class ModalWatchdog
{
public:
    explicit ModalWatchdog(UINT timeoutMs = 5000)
        : m_timer(timeoutMs, [] {
              EndMenu();
              EnumThreadWindows(GetCurrentThreadId(), &CancelDialog, 0);
          })
    {
    }
    bool Fired() const { return m_timer.Fired(); }

private:
    static BOOL CALLBACK CancelDialog(HWND hwnd, LPARAM)
    {
        wchar_t name[16] = {};
        GetClassNameW(hwnd, name, 16);
        if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(hwnd)) {
            PostMessageW(hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            EndDialog(hwnd, -2);
        }
        return TRUE;
    }

    Deferred m_timer;
};

// Runs loop until it ends, or ends it with exit code -99 after timeoutMs.
template <class Loop>
int RunWithTimeout(Loop &loop, UINT timeoutMs = 10000)
{
    Deferred timeout(timeoutMs, [] { PostQuitMessage(-99); });
    return loop.Run();
}

// Records every message box instead of showing it, answering the next of the queued answers,
// or `answer` once they are used up.
class MessageBoxRecorder
{
public:
    struct Box
    {
        HWND owner;
        std::wstring text;
        std::wstring caption;
        UINT type;
    };

    explicit MessageBoxRecorder(int answer = IDOK)
    {
        Instance() = this;
        m_answer = answer;
        m_previous = ui::SetMessageBoxHook(&Hook);
    }
    ~MessageBoxRecorder()
    {
        ui::SetMessageBoxHook(m_previous);
        Instance() = nullptr;
    }
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    std::vector<Box> boxes;
    std::vector<int> answers;   // taken from the front

private:
    static MessageBoxRecorder *&Instance()
    {
        static MessageBoxRecorder *instance = nullptr;
        return instance;
    }
    static int Hook(HWND owner, const std::wstring &text, const std::wstring &caption, UINT type)
    {
        MessageBoxRecorder *self = Instance();
        self->boxes.push_back(Box{owner, text, caption, type});
        if (!self->answers.empty()) {
            int answer = self->answers.front();
            self->answers.erase(self->answers.begin());
            return answer;
        }
        return self->m_answer;
    }

    int m_answer;
    ui::MessageBoxHook m_previous;
};

// Presses the modifier keys in this thread's key state for as long as it lives (what
// TranslateAccelerator reads); no input reaches any window.
class ModifierKeys
{
public:
    ModifierKeys(bool ctrl, bool shift, bool alt)
    {
        GetKeyboardState(m_saved);
        BYTE state[256];
        memcpy(state, m_saved, sizeof(state));
        state[VK_CONTROL] = ctrl ? 0x80 : 0;
        state[VK_LCONTROL] = ctrl ? 0x80 : 0;
        state[VK_SHIFT] = shift ? 0x80 : 0;
        state[VK_LSHIFT] = shift ? 0x80 : 0;
        state[VK_MENU] = alt ? 0x80 : 0;
        state[VK_LMENU] = alt ? 0x80 : 0;
        SetKeyboardState(state);
    }
    ~ModifierKeys() { SetKeyboardState(m_saved); }
    ModifierKeys(const ModifierKeys &) = delete;
    ModifierKeys &operator=(const ModifierKeys &) = delete;

private:
    BYTE m_saved[256];
};

inline std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

inline POINT Centre(const RECT &r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

} // namespace guitest
