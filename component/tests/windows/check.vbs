' What every VBScript test shares. Wine's VBScript cannot load a file of code
' at run time, so CMakeLists.txt writes each test script with this text in
' front of it into the build folder, and cscript runs that copy
' (packaging/windows/test-msi.sh does the same for its client).
'
' Check OK, WHAT prints "ok" or "FAIL" with WHAT and counts the failures in
' `failures`; a script ends with WScript.Quit 0 when it is still 0.
Option Explicit
Dim failures
failures = 0
Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok    " & what
  Else
    WScript.Echo "FAIL  " & what
    failures = failures + 1
  End If
End Sub
