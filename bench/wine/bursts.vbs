' Sends N messages through Mobi.dll to the terminal simulator on COM port
' PORT and prints how many did not end with the delivery report (status 5).
'   cscript //nologo bursts.vbs PORT N
Option Explicit
Dim sms, r, i, lost, n, s, counts(6)
n = CLng(WScript.Arguments(1))
Set sms = CreateObject("Mobi.clsSMS")
r = sms.Initialize(CInt(WScript.Arguments(0)), "9600,n,8,1")
lost = 0
For i = 1 To n
  s = sms.SendSMS("12345", "bench")
  If s <> 5 Then lost = lost + 1
  If s >= 1 And s <= 6 Then counts(s) = counts(s) + 1
Next
WScript.Echo "lost " & lost & " of " & n & " (status 2: " & counts(2) & ", 3: " & counts(3) & _
  ", 4: " & counts(4) & ", 6: " & counts(6) & ")"
Set sms = Nothing
