' End to end: a late-bound client of Mobi.dll drives the terminal simulator
' on the COM port given as the first argument; the simulator was started with
' --fail 13900000000 --error 13700000000. Ends with WScript.Quit: 0 passed.
' Option Explicit, Check and failures come from check.vbs, which the build
' puts in front of this script.
Dim sms, r
Sub NoError(what)
  Check Err.Number = 0, what & IIf(Err.Number <> 0, ": error " & Err.Number & " " & Err.Description, "")
  Err.Clear
End Sub
Function IIf(c, a, b)
  If c Then IIf = a Else IIf = b
End Function

On Error Resume Next
Set sms = CreateObject("Mobi.clsSMS")
NoError "CreateObject"
r = sms.Initialize(CInt(WScript.Arguments(0)), "9600,n,8,1")
NoError "Initialize"
r = sms.MobiCheck()
NoError "MobiCheck"
Check r = "MOBI-SIM READY", "MobiCheck: the simulator's check text [" & r & "]"
r = sms.MobiSignal()
NoError "MobiSignal"
Check r = 23, "MobiSignal: 23, got " & r
r = sms.SetMobiCode("8613800290500")
NoError "SetMobiCode"
Check CInt(r) = -1, "SetMobiCode: -1, got " & CInt(r)
r = sms.SendSMS("13800138000", "Hello")
NoError "SendSMS"
Check r = 5, "SendSMS delivered: 5 (typeCustOK), got " & r
r = sms.SendSMS("13900000000", "Hello")
NoError "SendSMS to a failing number"
Check r = 4, "SendSMS not delivered: 4 (TypeCustError), got " & r
r = sms.SendSMS("13700000000", "Hello")
NoError "SendSMS refused"
Check r = 6, "SendSMS refused: 6 (typeError), got " & r
sms.MobiReset
NoError "MobiReset"
Set sms = Nothing
If failures = 0 Then
  WScript.Echo "end to end: all checks passed"
  WScript.Quit 0
End If
WScript.Quit 1
