
' Appended to the guide's NumberOf: the texts the number properties give, read back as numbers in the regional
' settings the script runs under.
Dim passed, failed, item
passed = 0: failed = 0
For Each item In Array(Array("1398.00", 1398), Array("455 ", 455), Array("12.5", 12.5), Array("0.75", 0.75), _
                       Array("1500 ", 1500), Array("0", 0))
    If NumberOf(item(0)) = item(1) And VarType(NumberOf(item(0))) = vbDouble Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "NumberOf(""" & item(0) & """) = " & NumberOf(item(0)) & ", expected " & item(1)
    End If
Next
For Each item In Array("---", "", " ")
    If IsNull(NumberOf(item)) Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "NumberOf(""" & item & """) should be Null"
    End If
Next
WScript.Echo "RESULT pass=" & passed & " fail=" & failed
