' The installed component as a late-bound client sees it:
'   cscript //nologo msi_client.vbs installed   creates Mobi.clsSMS and gets
'                                               its errors on a closed port
'   cscript //nologo msi_client.vbs removed     CreateObject fails with 429
' test-msi.sh runs a copy with component/tests/windows/check.vbs in front
' (Check, failures, Option Explicit).
Dim o, r

On Error Resume Next
Set o = CreateObject("Mobi.clsSMS")
If WScript.Arguments(0) = "removed" Then
  Check Err.Number = 429, "CreateObject after uninstalling: error 429, got " & Err.Number
Else
  Check Err.Number = 0, "CreateObject: " & Err.Description
  r = o.Initialize(42, "9600,n,8,1")
  Check Err.Number = 0 And r = "", "Initialize on a port that does not exist returns """""
  r = o.MobiCheck()
  Check Err.Number = 8018, "MobiCheck on the closed port: error 8018, got " & Err.Number
  Check InStr(Err.Description, "port is open") > 0, "its description: " & Err.Description
  Err.Clear
  r = o.SendSMS("", "x")
  Check Err.Number = 9, "SendSMS with an empty number: error 9, got " & Err.Number
  Err.Clear
  Set o = Nothing
End If
If failures = 0 Then WScript.Quit 0
WScript.Quit 1
