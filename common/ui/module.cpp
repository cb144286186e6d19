#include "module.h"

#include <algorithm>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ui {

// --- Message loop -------------------------------------------------------------------------------

template <class T>
void CMessageLoop::Compact(std::vector<T *> &list)
{
    list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
}

bool CMessageLoop::AddMessageFilter(CMessageFilter *filter)
{
    if (!filter || std::find(m_filters.begin(), m_filters.end(), filter) != m_filters.end())
        return false;
    m_filters.push_back(filter);
    return true;
}

bool CMessageLoop::RemoveMessageFilter(CMessageFilter *filter)
{
    auto it = std::find(m_filters.begin(), m_filters.end(), filter);
    if (!filter || it == m_filters.end())
        return false;
    *it = nullptr;
    if (m_calling == 0)
        Compact(m_filters);
    return true;
}

bool CMessageLoop::AddIdleHandler(CIdleHandler *handler)
{
    if (!handler || std::find(m_idleHandlers.begin(), m_idleHandlers.end(), handler) != m_idleHandlers.end())
        return false;
    m_idleHandlers.push_back(handler);
    return true;
}

bool CMessageLoop::RemoveIdleHandler(CIdleHandler *handler)
{
    auto it = std::find(m_idleHandlers.begin(), m_idleHandlers.end(), handler);
    if (!handler || it == m_idleHandlers.end())
        return false;
    *it = nullptr;
    if (m_calling == 0)
        Compact(m_idleHandlers);
    return true;
}

BOOL CMessageLoop::PreTranslateMessage(MSG *msg)
{
    BOOL consumed = FALSE;
    ++m_calling;
    // By index: a filter may append others while it runs; those are not asked this time.
    for (size_t i = m_filters.size(); i-- > 0 && !consumed;) {
        if (m_filters[i])
            consumed = m_filters[i]->PreTranslateMessage(msg);
    }
    if (--m_calling == 0)
        Compact(m_filters);
    return consumed;
}

BOOL CMessageLoop::OnIdle(int /*idleCount*/)
{
    BOOL more = FALSE;
    ++m_calling;
    for (size_t i = 0; i < m_idleHandlers.size(); ++i) {
        if (m_idleHandlers[i] && m_idleHandlers[i]->OnIdle())
            more = TRUE;
    }
    if (--m_calling == 0)
        Compact(m_idleHandlers);
    return more;
}

bool CMessageLoop::IsIdleMessage(const MSG &msg)
{
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:   // the system timer behind the caret's blink
        return false;
    default:
        return true;
    }
}

int CMessageLoop::Run()
{
    MSG msg = {};
    bool doIdle = true;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                doIdle = false;
        }
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            continue;   // an invalid window handle in the filter: nothing was retrieved
        if (!got)
            break;
        if (!PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (IsIdleMessage(msg)) {
            doIdle = true;
            idleCount = 0;
        }
    }
    return static_cast<int>(msg.wParam);
}

// --- Module -------------------------------------------------------------------------------------

CAppModule::CAppModule()
    : m_instance(reinterpret_cast<HINSTANCE>(&__ImageBase)),
      m_resourceInstance(reinterpret_cast<HINSTANCE>(&__ImageBase))
{
    InitializeCriticalSection(&m_lock);
}

CAppModule::~CAppModule()
{
    DeleteCriticalSection(&m_lock);
}

HRESULT CAppModule::Init(HINSTANCE instance)
{
    if (instance) {
        m_instance = instance;
        m_resourceInstance = instance;
    }
    return S_OK;
}

void CAppModule::Term()
{
    EnterCriticalSection(&m_lock);
    m_loops.clear();
    LeaveCriticalSection(&m_lock);
}

bool CAppModule::AddMessageLoop(CMessageLoop *loop)
{
    if (!loop)
        return false;
    EnterCriticalSection(&m_lock);
    bool added = m_loops.emplace(GetCurrentThreadId(), loop).second;
    LeaveCriticalSection(&m_lock);
    return added;
}

bool CAppModule::RemoveMessageLoop()
{
    EnterCriticalSection(&m_lock);
    bool removed = m_loops.erase(GetCurrentThreadId()) != 0;
    LeaveCriticalSection(&m_lock);
    return removed;
}

CMessageLoop *CAppModule::GetMessageLoop(DWORD threadId) const
{
    EnterCriticalSection(&m_lock);
    auto it = m_loops.find(threadId);
    CMessageLoop *loop = it == m_loops.end() ? nullptr : it->second;
    LeaveCriticalSection(&m_lock);
    return loop;
}

CAppModule &Module()
{
    static CAppModule module;
    return module;
}

} // namespace ui
