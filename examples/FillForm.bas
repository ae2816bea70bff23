Attribute VB_Name = "FillForm"
' Early binding: fills a form (an Access form or an Excel UserForm) from a certificate. Needs the references set in
' the VBA editor under Tools > References: "VarnokSrv" (FileReader) and "VarnokSrv ImageReader 1.0" (both type
' libraries are inside VarnokSrv.exe; Browse... to it when they are not listed). The editor then completes
' member names and checks calls before running. Import together with ReadCertificate.bas (PropertyNames,
' LoadCodet: the saved copy is kept only in resultFolder when one is given).
'     FillFromFile Me, "C:\skany\dowod.jpg"          (in the form's module: an image, a data file or a payload)
Option Explicit

Private Const ObjectNotSet As Long = 91

' Properties that hold numbers: their texts always use "." and may carry blanks; Val reads exactly that,
' whatever the user's regional settings (CDbl would not).
Private Function IsNumberProperty(ByVal name As String) As Boolean
    Select Case name
    Case "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", _
         "MasaWlasna", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika", "MaksymalnaMocNetto", _
         "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "RokProdukcji"
        IsNumberProperty = True
    End Select
End Function

' Loads the certificate and puts each field into the form's control of the same name, where there is one.
Public Sub FillFromFile(ByVal form As Object, ByVal path As String, Optional ByVal resultFolder As String = "")
    Dim reader As VarnokSrv.FileReader
    Dim status As String
    Set reader = New VarnokSrv.FileReader
    Select Case LCase$(Mid$(path, InStrRev(path, ".")))
    Case ".xml"
        status = reader.ReadData(path)
    Case ".png", ".jpg", ".jpeg", ".bmp", ".gif", ".tif", ".tiff"
        Dim image As VarnokSrvImage.ImageReader
        Set image = New VarnokSrvImage.ImageReader
        status = LoadCodet(reader, image.ReadCodet(path), resultFolder)  ' errors 53, 75, 321, 1001-1003
        Set image = Nothing
    Case Else
        status = LoadCodet(reader, CreateObject("Scripting.FileSystemObject").OpenTextFile(path, 1).ReadAll(), _
                           resultFolder)
    End Select
    If status <> "OK" Then
        MsgBox status, vbExclamation, "VarnokSrv"
        Exit Sub
    End If

    Dim name As Variant, text As String, control As Object
    For Each name In PropertyNames()
        Set control = Nothing
        On Error Resume Next
        Set control = form.Controls(CStr(name))
        On Error GoTo 0
        If Not control Is Nothing Then
            If FieldOf(reader, CStr(name), text) Then
                If IsNumberProperty(CStr(name)) And text <> "---" And Trim$(text) <> "" Then
                    control.Value = Val(text)
                Else
                    control.Value = Replace(text, vbCr, vbCrLf)  ' OrganWydajacy: lines end with CR alone
                End If
            Else
                control.Value = Null  ' not in this certificate (an older one has no Podrodzaj)
            End If
        End If
    Next
    reader.CloseData
    Set reader = Nothing  ' the server leaves once no client holds an object
End Sub

' False when the loaded certificate lacks the field (run-time error 91); other errors go on to the caller.
Private Function FieldOf(ByVal reader As VarnokSrv.FileReader, ByVal name As String, ByRef text As String) As Boolean
    On Error GoTo Failed
    text = CallByName(reader, name, VbGet)
    FieldOf = True
    Exit Function
Failed:
    If Err.Number <> ObjectNotSet Then Err.Raise Err.Number, Err.Source, Err.Description
    FieldOf = False
End Function
