' A retail application that binds to the POSPrinter service object late, by name.
'   cscript //nologo print_direct.vbs <COM port> <device key name>
' Prints one bold line and cuts. Exit code: 0 when every call succeeded, otherwise the
' number of the step that failed.
Option Explicit

Dim port, device, so, rc
port = WScript.Arguments(0)
device = WScript.Arguments(1)

Sub Check(stepNumber, what, result)
    WScript.Echo what & " -> " & result
    If result <> 0 Then WScript.Quit stepNumber
End Sub

Set so = CreateObject("RIVADARADO.POSPrinter")
Check 1, "OpenService " & device & " on " & port, so.OpenService("POSPrinter", device, Nothing)
Check 2, "ClaimDevice", so.ClaimDevice(1000)
Check 3, "PrintNormal", so.PrintNormal(2, Chr(27) & "|bCHello" & vbLf)
Check 4, "CutPaper", so.CutPaper(100)
Check 5, "ResultCode", so.GetPropertyNumber(6)
Check 6, "ReleaseDevice", so.ReleaseDevice()
Check 7, "CloseService", so.CloseService()
Set so = Nothing
WScript.Echo "done"
