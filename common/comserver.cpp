#include "comserver.h"
#include "trace.h"

#include <cwctype>
#include <functional>
#include <vector>

namespace com {

// --- Class factory ------------------------------------------------------------------------------

STDMETHODIMP CComClassFactory::QueryInterface(REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CComClassFactory::AddRef() { return InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CComClassFactory::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown *outer, REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) {
        Trace(L"CComClassFactory: asked for non IUnknown interface while creating an aggregated object");
        return CLASS_E_NOAGGREGATION;
    }
    return m_creator(outer, iid, ppv);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock)
{
    if (lock)
        ModuleLock();
    else
        ModuleUnlock();
    return S_OK;
}

// --- Module ------------------------------------------------------------------------------------

void CComModule::Init(ObjectMapEntry *map, HINSTANCE instance, const GUID *libid)
{
    m_map = map;
    m_instance = instance;
    m_libid = libid;
    InitializeCriticalSection(&m_lock);
    m_initialised = true;
}

void CComModule::Term()
{
    if (!m_initialised)
        return;
    for (ObjectMapEntry *e = m_map; e && e->clsid; ++e) {
        if (e->factory) {
            e->factory->Release();
            e->factory = nullptr;
        }
    }
    DeleteCriticalSection(&m_lock);
    m_initialised = false;
}

HRESULT CComModule::GetClassObject(REFCLSID clsid, REFIID iid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (ObjectMapEntry *e = m_map; e && e->clsid; ++e) {
        if (!IsEqualCLSID(*e->clsid, clsid))
            continue;
        EnterCriticalSection(&m_lock);
        if (!e->factory) {
            CComClassFactory *factory = new (std::nothrow) CComClassFactory(e->creator);
            if (factory) {
                factory->AddRef();   // the module's own reference, dropped by Term
                e->factory = factory;
            }
        }
        IClassFactory *factory = e->factory;
        LeaveCriticalSection(&m_lock);
        return factory ? factory->QueryInterface(iid, ppv) : E_OUTOFMEMORY;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

std::wstring CComModule::ModulePath() const
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(m_instance, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT CComModule::RunRegistryScripts(const std::wstring &path, bool reg)
{
    for (ObjectMapEntry *e = m_map; e && e->clsid; ++e) {
        CRegistrar registrar;
        registrar.AddReplacement(L"MODULE", path);
        registrar.AddReplacement(L"Module_Raw", path);
        HRESULT hr = registrar.RunResource(m_instance, e->registryScript, reg);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CComModule::RegisterServer()
{
    std::wstring path = ModulePath();
    HRESULT hr = RunRegistryScripts(path, true);
    if (FAILED(hr))
        return hr;

    ComPtr<ITypeLib> lib;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) {
        Trace(L"LoadTypeLibEx => %08lX\n", hr);
        return hr;
    }
    std::wstring dir = path.substr(0, path.find_last_of(L"\\/") + 1);
    hr = RegisterTypeLib(lib.Get(), const_cast<LPOLESTR>(path.c_str()),
                         dir.empty() ? nullptr : const_cast<LPOLESTR>(dir.c_str()));
    if (FAILED(hr))
        Trace(L"RegisterTypeLib => %08lX\n", hr);
    return hr;
}

HRESULT CComModule::UnregisterServer()
{
    // Removes as much as it can and reports the first failure.
    std::wstring path = ModulePath();
    HRESULT scripts = RunRegistryScripts(path, false);
    HRESULT hr = UnregisterTypeLibrary(path);
    return FAILED(scripts) ? scripts : hr;
}

HRESULT CComModule::UnregisterTypeLibrary(const std::wstring &path)
{
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr))
        return hr;
    TLIBATTR *attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr))
        return hr;
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    // Nothing registered, nothing to remove (Windows says so with TYPE_E_REGISTRYACCESS,
    // Wine with E_INVALIDARG); the arguments come from the library itself.
    if (hr == TYPE_E_REGISTRYACCESS || hr == E_INVALIDARG)
        hr = S_OK;
    return hr;
}

// --- Registrar -----------------------------------------------------------------------------------

namespace {

struct Token
{
    enum Kind { End, Word, Quoted, Open, Close, Equals } kind;
    std::wstring text;
};

class Scanner
{
public:
    explicit Scanner(const std::wstring &s) : m_s(s) {}

    Token Next()
    {
        if (m_peeked) {
            m_peeked = false;
            return m_peek;
        }
        return Read();
    }

    const Token &Peek()
    {
        if (!m_peeked) {
            m_peek = Read();
            m_peeked = true;
        }
        return m_peek;
    }

    bool Error() const { return m_error; }

private:
    Token Read()
    {
        while (m_pos < m_s.size() && iswspace(m_s[m_pos]))
            ++m_pos;
        if (m_pos >= m_s.size())
            return {Token::End, L""};
        wchar_t c = m_s[m_pos];
        if (c == L'{' && !LooksLikeGuid())
            return ++m_pos, Token{Token::Open, L"{"};
        if (c == L'}')
            return ++m_pos, Token{Token::Close, L"}"};
        if (c == L'=')
            return ++m_pos, Token{Token::Equals, L"="};
        if (c == L'\'') {
            std::wstring text;
            ++m_pos;
            while (m_pos < m_s.size()) {
                if (m_s[m_pos] == L'\'') {
                    if (m_pos + 1 < m_s.size() && m_s[m_pos + 1] == L'\'') {
                        text += L'\'';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    return {Token::Quoted, text};
                }
                text += m_s[m_pos++];
            }
            m_error = true;
            return {Token::End, L""};
        }
        size_t start = m_pos;
        if (c == L'{') {   // a GUID used as a key name
            m_pos = m_s.find(L'}', m_pos) + 1;
            return {Token::Word, m_s.substr(start, m_pos - start)};
        }
        while (m_pos < m_s.size() && !iswspace(m_s[m_pos]) && m_s[m_pos] != L'{' && m_s[m_pos] != L'}' &&
               m_s[m_pos] != L'=' && m_s[m_pos] != L'\'')
            ++m_pos;
        return {Token::Word, m_s.substr(start, m_pos - start)};
    }

    // A brace that opens a GUID ({8-4-4-4-12}) is part of a key name, not a block.
    bool LooksLikeGuid() const
    {
        size_t close = m_s.find(L'}', m_pos);
        if (close == std::wstring::npos || close - m_pos != 37)
            return false;
        for (size_t i = m_pos + 1; i < close; ++i) {
            wchar_t ch = m_s[i];
            size_t k = i - m_pos - 1;
            bool dash = k == 8 || k == 13 || k == 18 || k == 23;
            if (dash ? ch != L'-' : !iswxdigit(ch))
                return false;
        }
        return true;
    }

    const std::wstring &m_s;
    size_t m_pos = 0;
    bool m_error = false;
    Token m_peek{Token::End, L""};
    bool m_peeked = false;
};

HKEY RootKey(const std::wstring &name)
{
    static const struct { const wchar_t *name; HKEY key; } roots[] = {
        {L"HKCR", HKEY_CLASSES_ROOT}, {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCU", HKEY_CURRENT_USER}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKU", HKEY_USERS}, {L"HKEY_USERS", HKEY_USERS},
    };
    for (const auto &r : roots)
        if (_wcsicmp(r.name, name.c_str()) == 0)
            return r.key;
    return nullptr;
}

LONG DeleteTree(HKEY parent, const std::wstring &name)
{
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc != ERROR_SUCCESS)
        return rc;
    for (;;) {
        wchar_t child[256];
        DWORD len = 256;
        if (RegEnumKeyExW(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (DeleteTree(key, child) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return RegDeleteKeyW(parent, name.c_str());
}

class ScriptRunner
{
public:
    ScriptRunner(Scanner &scanner, bool reg, const std::function<std::wstring(const std::wstring &)> &expand)
        : m_scan(scanner), m_reg(reg), m_expand(expand) {}

    HRESULT Script()
    {
        for (Token t = m_scan.Next(); t.kind != Token::End; t = m_scan.Next()) {
            HKEY root = t.kind == Token::Word ? RootKey(t.text) : nullptr;
            if (!root || m_scan.Next().kind != Token::Open)
                return Fail(L"root key expected");
            HRESULT hr = Block(root);
            if (FAILED(hr))
                return hr;
        }
        return m_scan.Error() ? Fail(L"unterminated text") : m_deleteFailure;
    }

private:
    HRESULT Fail(const wchar_t *what)
    {
        Trace(L"registry script: %ls\n", what);
        return DISP_E_EXCEPTION;
    }

    // Reads "= s 'text'" or "= d 'number'" after the '=' was taken.
    HRESULT Value(DWORD *type, std::wstring *text)
    {
        Token kind = m_scan.Next();
        Token data = m_scan.Next();
        if (kind.kind != Token::Word || data.kind != Token::Quoted)
            return Fail(L"value expected");
        if (kind.text == L"s")
            *type = REG_SZ;
        else if (kind.text == L"d")
            *type = REG_DWORD;
        else
            return Fail(L"unknown value type");
        *text = m_expand(data.text);
        return S_OK;
    }

    LONG SetValue(HKEY key, const wchar_t *name, DWORD type, const std::wstring &text)
    {
        if (type == REG_DWORD) {
            DWORD v = wcstoul(text.c_str(), nullptr, 0);
            return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof(v));
        }
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // The body of a key, after its '{'. parent is null when unregistering below a key that
    // does not exist.
    HRESULT Block(HKEY parent)
    {
        for (;;) {
            Token t = m_scan.Next();
            if (t.kind == Token::Close)
                return S_OK;
            bool forceRemove = false, noRemove = false, isValue = false;
            while (t.kind == Token::Word && (t.text == L"ForceRemove" || t.text == L"NoRemove" || t.text == L"val")) {
                forceRemove |= t.text == L"ForceRemove";
                noRemove |= t.text == L"NoRemove";
                isValue |= t.text == L"val";
                t = m_scan.Next();
            }
            if (t.kind != Token::Word && t.kind != Token::Quoted)
                return Fail(L"key name expected");
            const std::wstring name = t.text;

            DWORD type = 0;
            std::wstring text;
            bool hasValue = false;
            if (m_scan.Peek().kind == Token::Equals) {
                m_scan.Next();
                HRESULT hr = Value(&type, &text);
                if (FAILED(hr))
                    return hr;
                hasValue = true;
            }

            if (isValue) {
                if (!hasValue)
                    return Fail(L"named value without data");
                if (m_reg && parent && SetValue(parent, name.c_str(), type, text) != ERROR_SUCCESS)
                    return Fail(L"cannot write a value");
                if (!m_reg && parent)
                    RegDeleteValueW(parent, name.c_str());
                continue;
            }

            HKEY key = nullptr;
            if (m_reg) {
                if (!parent)
                    return Fail(L"no parent key");
                if (forceRemove)
                    DeleteTree(parent, name);
                if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS)
                    return Fail(L"cannot create a key");
                if (hasValue && SetValue(key, nullptr, type, text) != ERROR_SUCCESS) {
                    RegCloseKey(key);
                    return Fail(L"cannot write a default value");
                }
            } else if (parent && noRemove) {
                // Kept itself, but what the script lists below it goes.
                RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key);
            }

            HRESULT hr = S_OK;
            if (m_scan.Peek().kind == Token::Open) {
                m_scan.Next();
                hr = Block(key);
            }
            if (key)
                RegCloseKey(key);
            if (FAILED(hr))
                return hr;
            if (!m_reg && parent && !noRemove)
                Delete(parent, name);
        }
    }

    // A key that is already gone is what unregistering wants; any other failure is reported
    // once the rest of the script has removed what it can.
    void Delete(HKEY parent, const std::wstring &name)
    {
        LONG rc = DeleteTree(parent, name);
        if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
            return;
        Trace(L"registry script: cannot delete key %ls => %ld\n", name.c_str(), rc);
        if (SUCCEEDED(m_deleteFailure))
            m_deleteFailure = HRESULT_FROM_WIN32(rc);
    }

    Scanner &m_scan;
    bool m_reg;
    HRESULT m_deleteFailure = S_OK;   // the first key that could not be deleted
    const std::function<std::wstring(const std::wstring &)> &m_expand;
};

} // namespace

void CRegistrar::AddReplacement(const std::wstring &name, const std::wstring &value)
{
    m_replacements.push_back({name, value});
}

std::wstring CRegistrar::Expand(const std::wstring &text) const
{
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'%') {
            size_t end = text.find(L'%', i + 1);
            if (end != std::wstring::npos) {
                std::wstring name = text.substr(i + 1, end - i - 1);
                bool found = false;
                for (const Replacement &r : m_replacements)
                    if (_wcsicmp(r.name.c_str(), name.c_str()) == 0) {
                        out += r.value;
                        found = true;
                        break;
                    }
                if (found || name.empty()) {
                    if (name.empty())
                        out += L'%';   // %% is one percent sign
                    i = end + 1;
                    continue;
                }
            }
        }
        out += text[i++];
    }
    return out;
}

HRESULT CRegistrar::Run(const std::wstring &script, bool reg)
{
    Scanner scanner(script);
    std::function<std::wstring(const std::wstring &)> expand = [this](const std::wstring &t) { return Expand(t); };
    ScriptRunner runner(scanner, reg, expand);
    return runner.Script();
}

HRESULT CRegistrar::RunResource(HINSTANCE module, UINT id, bool reg)
{
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    HGLOBAL data = res ? LoadResource(module, res) : nullptr;
    const char *bytes = data ? static_cast<const char *>(LockResource(data)) : nullptr;
    if (!bytes)
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    DWORD size = SizeofResource(module, res);
    // The script is stored as ANSI text.
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring script(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), &script[0], n);
    return Run(script, reg);
}

} // namespace com
