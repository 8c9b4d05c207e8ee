' Sends N messages through Mobi.dll to the terminal simulator on COM port
' PORT and prints how many did not end with the delivery report (status 5).
'   cscript //nologo bursts.vbs PORT N
Option Explicit
Dim sms, r, i, lost, n
n = CLng(WScript.Arguments(1))
Set sms = CreateObject("Mobi.clsSMS")
r = sms.Initialize(CInt(WScript.Arguments(0)), "9600,n,8,1")
lost = 0
For i = 1 To n
  If sms.SendSMS("12345", "bench") <> 5 Then lost = lost + 1
Next
WScript.Echo "lost " & lost & " of " & n
Set sms = Nothing
