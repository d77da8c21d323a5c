' What a Windows user does with the control from VBScript, run by cscript.
' Prints the rewritten page, then "done"; any error prints its number and
' description and ends with exit code 1.
Option Explicit
On Error Resume Next

Dim c, imgs, r, f, g
Set c = CreateObject("KIVOPARSE.KIVOParseCtrl.1")
Check "CreateObject"

c.SetDocumentBase "C:\web\"
c.ParseHTML "<img src=C:\web\a.gif><a href=x.htm>x</a>"
imgs = c.GetImages()
r = c.FixImages(imgs, imgs)
Check "the user scenario"
WScript.Echo c.GetHTML()
WScript.Echo "FixImages " & r

' The forms VBScript passes: an Array() variable, a Dim'd array, the
' result of a call inline; lists of different lengths give -1.
r = c.FixHrefs(Array("X.HTM"), Array("y.htm"))
WScript.Echo "Array() " & r & " " & c.GetHTML()
Dim d(0), e(0)
d(0) = "a.gif"
e(0) = "b.gif"
r = c.FixImages(d, e)
WScript.Echo "Dim " & r & " " & c.GetHTML()
r = c.FixImages(c.GetImages(), Array())
WScript.Echo "lengths " & r
Check "the array forms"

' A string where an array belongs is refused with a type mismatch (13).
r = c.FixImages("a.gif", "b.gif")
WScript.Echo "refused " & Err.Number
Err.Clear

WScript.Echo "done"
WScript.Quit 0

Sub Check(what)
    If Err.Number <> 0 Then
        WScript.Echo "FAILED in " & what & ": " & Hex(Err.Number) & " " & Err.Description
        WScript.Quit 1
    End If
End Sub
