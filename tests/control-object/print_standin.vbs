' A retail application using the POSPrinter control object, by logical device name.
'   cscript //nologo print_standin.vbs <COM port> <logical device name>
' Exit code: 0 when every call succeeded, otherwise the number of the step that failed.
Option Explicit

Dim port, device, printer
port = WScript.Arguments(0)
device = WScript.Arguments(1)

Sub Check(stepNumber, what, result)
    WScript.Echo what & " -> " & result
    If result <> 0 Then WScript.Quit stepNumber
End Sub

Set printer = CreateObject("OPOS.POSPrinter")
Check 1, "Open " & device & " on " & port, printer.Open(device)
Check 2, "ClaimDevice", printer.ClaimDevice(1000)
printer.DeviceEnabled = True
If Not printer.DeviceEnabled Then WScript.Echo "DeviceEnabled stayed False" : WScript.Quit 3
Check 4, "PrintNormal", printer.PrintNormal(2, Chr(27) & "|bCHello" & vbLf)
Check 5, "CutPaper", printer.CutPaper(100)
printer.DeviceEnabled = False
Check 6, "ReleaseDevice", printer.ReleaseDevice()
Check 7, "Close", printer.Close()
WScript.Echo "done"
