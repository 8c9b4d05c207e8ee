' A late-bound automation client: creates Mobi.clsSMS by its programmatic
' identifier and calls every method by name against the scripted terminal of
' terminal_session.peer on the port given as the first argument.
' Wine's cscript ends with 0 even after an uncaught error, so every call is
' checked here and the script ends with WScript.Quit: 0 passed, 1 failed.
' Option Explicit, Check and failures come from check.vbs, which the build
' puts in front of this script.
Dim sms, r, port

Sub CheckNoError(what)
  If Err.Number <> 0 Then
    Check False, what & ": error " & Err.Number & " " & Err.Description
    Err.Clear
  End If
End Sub

port = CInt(WScript.Arguments(0))
On Error Resume Next
Set sms = CreateObject("Mobi.clsSMS")
CheckNoError "CreateObject(""Mobi.clsSMS"")"
If sms Is Nothing Then WScript.Quit 1

' A slow line: its quiet gap (100 ms) leaves the paced reply a wide margin.
r = sms.Initialize(port, "300,n,8,1")
CheckNoError "Initialize"
Check VarType(r) = vbString And r = "", "Initialize returns an empty string"

r = sms.MobiCheck()
CheckNoError "MobiCheck"
Check r = "MOBI READY", "MobiCheck returns the check text: [" & r & "]"

r = sms.SetMobiCode("8613800290500")
CheckNoError "SetMobiCode"
Check VarType(r) = vbBoolean, "SetMobiCode returns a boolean"
Check CInt(r) = -1, "SetMobiCode gives -1 for true: " & CInt(r)
r = sms.SetMobiCode("8613800290500")
CheckNoError "SetMobiCode (refused)"
Check CInt(r) = 0, "SetMobiCode gives 0 after ""ERROR"": " & CInt(r)

r = sms.MobiSignal()
CheckNoError "MobiSignal"
Check VarType(r) = vbInteger And r = 23, "MobiSignal returns 23: " & r

r = sms.SendSMS("12345", "abc")
CheckNoError "SendSMS"
Check r = 5, "SendSMS returns 5 (typeCustOK) on the delivery report: " & r

sms.MobiReset
CheckNoError "MobiReset"
sms.ATSend "AT+CSQ" & vbCr
CheckNoError "ATSend"

r = sms.MobiCheck()
CheckNoError "MobiCheck (error text)"
Check r = "NO SIM", "MobiCheck returns the type 0 text: [" & r & "]"

' Errors: number and description reach the script.
r = sms.SendSMS("", "abc")
Check Err.Number = 9, "SendSMS with an empty number: error 9, got " & Err.Number
Check InStr(Err.Description, "Subscript out of range") > 0, "its description: " & Err.Description
Err.Clear
r = sms.SetMobiCode("")
Check Err.Number = 9, "SetMobiCode with an empty number: error 9, got " & Err.Number
Err.Clear
' Chr(&HD6D0): the character U+4E2D in code page 936 (Wine's VBScript has no ChrW).
r = sms.SendSMS("138" & Chr(&HD6D0), "abc")
Check Err.Number = 6, "SendSMS with a double-byte character in the number: error 6, got " & Err.Number
Check InStr(Err.Description, "Overflow") > 0, "its description: " & Err.Description
Err.Clear

Set sms = Nothing
CheckNoError "releasing the object"
If failures = 0 Then
  WScript.Echo "all checks passed"
  WScript.Quit 0
End If
WScript.Echo failures & " check(s) failed"
WScript.Quit 1
