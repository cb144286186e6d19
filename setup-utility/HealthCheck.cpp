// The interactive health check of a device through the OPOS control object of its class,
// reached by late binding: open, claim, enable, CheckHealth, then undo each step.
#include "MainFrm.h"

#include "DeviceTree.h"
#include "devicestore.h"
#include "dispatch.h"
#include "strings.h"
#include "trace.h"

namespace {

constexpr long kInteractiveHealthCheck = 3;   // CH_INTERACTIVE

VARIANT ShortVariant(short value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
}

void ReportCallFailure(HWND owner, const wchar_t *member, HRESULT hr)
{
    ui::ShowMessageBox(owner, ui::FormatRes(IDS_CHECKHEALTH_CALL_FAILS, member, static_cast<unsigned long>(hr)),
                       ui::LoadStr(IDS_ERROR), MB_OK | MB_ICONERROR);
}

} // namespace

LRESULT CMainFrame::CheckHealthInteractive(WORD, WORD, HWND, BOOL &)
{
    const std::wstring *path = DeviceItemMap.Lookup(m_tree.GetSelectedItem());
    if (!path) {
        ui::ShowMessageBox(m_hWnd, IDS_SELECT_DEVICE, IDS_WARNING, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    std::wstring deviceClass, device;
    SplitDevicePath(*path, deviceClass, device);
    const std::wstring progId = ui::Format(L"OPOS.%ls", deviceClass.c_str());

    com::CDispatchCaller control;
    HRESULT hr = control.Create(progId.c_str(), CLSCTX_ALL);
    if (FAILED(hr)) {
        Trace(L"health check: %ls not created (0x%08lx)\n", progId.c_str(), static_cast<unsigned long>(hr));
        ui::ShowMessageBox(m_hWnd, ui::FormatRes(IDS_CONTROL_NOT_CREATED, progId.c_str(), static_cast<unsigned long>(hr)),
                           ui::LoadStr(IDS_ERROR), MB_OK | MB_ICONERROR);
        return 0;
    }

    // Open and ClaimDevice answer result codes; a failure shows them with the extended code.
    const struct { const wchar_t *member; com::CDispArg arg; } steps[] = {
        {L"Open", com::CDispArg(device)},
        {L"ClaimDevice", com::CDispArg(0L)},
    };
    bool opened = false;
    for (const auto &step : steps) {
        long result = 0;
        hr = control.CallLong(step.member, {step.arg}, &result);
        if (FAILED(hr)) {
            // No result code came back: nothing to read, only what succeeded is undone.
            ReportCallFailure(m_hWnd, step.member, hr);
            if (opened)
                control.Call(L"Close");
            return 0;
        }
        if (result != 0) {
            long extended = 0;
            if (FAILED(control.GetLong(L"ResultCodeExtended", &extended)))
                extended = 0;
            ui::ShowMessageBox(m_hWnd, ui::FormatRes(IDS_CHECKHEALTH_FAILS, step.member, result, extended),
                               ui::LoadStr(IDS_ERROR), MB_OK | MB_ICONERROR);
            if (opened)
                control.Call(L"Close");
            return 0;
        }
        opened = true;
    }

    // The result codes from here on are not examined: what the check shows is the service
    // object's business. A call that fails at the COM level is reported, and what was done is
    // still undone in order: disable only after an enable, then release and close.
    const auto call = [&](const wchar_t *member, HRESULT result) {
        if (FAILED(result))
            ReportCallFailure(m_hWnd, member, result);
        return SUCCEEDED(result);
    };
    if (call(L"DeviceEnabled", control.Put(L"DeviceEnabled", com::CDispArg(ShortVariant(-1))))) {
        call(L"CheckHealth", control.Call(L"CheckHealth", {com::CDispArg(kInteractiveHealthCheck)}));
        call(L"DeviceEnabled", control.Put(L"DeviceEnabled", com::CDispArg(ShortVariant(0))));
    }
    call(L"ReleaseDevice", control.Call(L"ReleaseDevice"));
    call(L"Close", control.Call(L"Close"));
    return 0;
}
