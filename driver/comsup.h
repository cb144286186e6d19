// The base of the driver's COM objects: an interlocked reference count that starts at 1 when
// the object is made, and IUnknown for the object's primary pointer. None of the objects
// supports aggregation.
#pragma once

#include <windows.h>
#include <objbase.h>

class CRefCounted : public IUnknown
{
public:
    // Answers IUnknown only; a derived class answers its own interfaces first and then calls
    // this by name.
    STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    // Destroys the object when the count reaches 0.
    STDMETHODIMP_(ULONG) Release() override;
    virtual ~CRefCounted() = default;

protected:
    CRefCounted() = default;
    CRefCounted(const CRefCounted &) = delete;
    CRefCounted &operator=(const CRefCounted &) = delete;

    // For a derived class's QueryInterface: hands out `itf` with a reference added.
    HRESULT Answer(IUnknown *itf, void **ppv)
    {
        itf->AddRef();
        *ppv = itf;
        return S_OK;
    }

private:
    volatile LONG m_refs = 1;
};

// Every derived class has several IUnknown bases (one per interface); these route all of them
// to the one count.
#define ZULKOR_FORWARD_IUNKNOWN()                                                       \
    STDMETHODIMP_(ULONG) AddRef() override { return CRefCounted::AddRef(); }           \
    STDMETHODIMP_(ULONG) Release() override { return CRefCounted::Release(); }
