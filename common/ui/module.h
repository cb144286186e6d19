// The application module (instance handles, the message loop of each thread) and the message
// loop with its message filters and idle handlers.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

namespace ui {

// Sees every message of the thread before it is dispatched; true when it consumed it.
class CMessageFilter
{
public:
    virtual BOOL PreTranslateMessage(MSG *msg) = 0;

protected:
    ~CMessageFilter() = default;
};

// Runs when the thread's queue has run dry after input; true asks for another idle pass.
class CIdleHandler
{
public:
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop
{
public:
    CMessageLoop() = default;
    CMessageLoop(const CMessageLoop &) = delete;
    CMessageLoop &operator=(const CMessageLoop &) = delete;
    virtual ~CMessageLoop() = default;

    // Adding twice is refused. Filters and handlers may add or remove themselves (and others)
    // while the loop is calling them.
    bool AddMessageFilter(CMessageFilter *filter);
    bool RemoveMessageFilter(CMessageFilter *filter);
    bool AddIdleHandler(CIdleHandler *handler);
    bool RemoveIdleHandler(CIdleHandler *handler);

    // Pumps until WM_QUIT and returns its exit code.
    int Run();

    // Filters are asked newest first: a dialog registered after the frame sees its keys first.
    virtual BOOL PreTranslateMessage(MSG *msg);
    // Calls every idle handler; true when one of them asks for more idle time.
    virtual BOOL OnIdle(int idleCount);

    // False for the messages that arrive without the user doing anything (mouse moves over a
    // resting pointer, paints, the caret's blink timer): they do not restart idle processing.
    static bool IsIdleMessage(const MSG &msg);

private:
    template <class T> static void Compact(std::vector<T *> &list);

    std::vector<CMessageFilter *> m_filters;   // removed entries are null until compacted
    std::vector<CIdleHandler *> m_idleHandlers;
    int m_calling = 0;                         // depth of filter or idle calls in progress
};

class CAppModule
{
public:
    CAppModule();
    CAppModule(const CAppModule &) = delete;
    CAppModule &operator=(const CAppModule &) = delete;
    ~CAppModule();

    // instance: the program's instance; null keeps the module this code is linked into.
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return m_instance; }
    HINSTANCE GetResourceInstance() const { return m_resourceInstance; }
    void SetResourceInstance(HINSTANCE instance) { m_resourceInstance = instance; }

    // One loop per thread: the loop that the current thread runs.
    bool AddMessageLoop(CMessageLoop *loop);
    bool RemoveMessageLoop();
    CMessageLoop *GetMessageLoop(DWORD threadId = GetCurrentThreadId()) const;

private:
    HINSTANCE m_instance;
    HINSTANCE m_resourceInstance;
    mutable CRITICAL_SECTION m_lock;   // the loop table: every thread registers its own
    std::map<DWORD, CMessageLoop *> m_loops;
};

CAppModule &Module();

} // namespace ui
