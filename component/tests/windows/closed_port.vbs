' A late-bound client without a terminal: a port that does not exist opens
' silently (Initialize ignores every failure) and the next command fails with
' the serial layer's error 8018 and its description; a second object shares
' the state; releasing objects works in any order.
' Option Explicit, Check and failures come from check.vbs, which the build
' puts in front of this script.
Dim a, b, r

On Error Resume Next
Set a = CreateObject("Mobi.clsSMS")
Check Err.Number = 0, "CreateObject: " & Err.Description
Set b = CreateObject("Mobi.clsSMS")
Check Err.Number = 0, "a second object: " & Err.Description
r = a.Initialize(42, "9600,n,8,1")
Check Err.Number = 0 And r = "", "Initialize on a port that does not exist returns """""
r = a.Initialize(43, "fast please")
Check Err.Number = 0 And r = "", "Initialize with bad settings returns """""
r = b.MobiCheck()
Check Err.Number = 8018, "MobiCheck on the closed port: error 8018, got " & Err.Number
Check InStr(Err.Description, "port is open") > 0, "its description: " & Err.Description
Check Err.Source = "Mobi.clsSMS", "its source: " & Err.Source
Err.Clear
b.MobiReset
Check Err.Number = 8018, "MobiReset on the closed port: error 8018, got " & Err.Number
Err.Clear
r = b.SendSMS("", "x")
Check Err.Number = 9, "SendSMS with an empty number fails with 9 before the port: got " & Err.Number
Err.Clear
Set a = Nothing
Set b = Nothing
Check Err.Number = 0, "releasing both objects"
If failures = 0 Then WScript.Quit 0
WScript.Quit 1
