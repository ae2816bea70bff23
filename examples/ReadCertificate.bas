Attribute VB_Name = "ReadCertificate"
' Reads a vehicle registration certificate through VarnokSrv and prints its fields in the Immediate window
' (Ctrl+G). Late binding: no reference to set, works in 32-bit and 64-bit Office alike.
' Import into Excel or Access: VBA editor, File > Import File..., then for example in the Immediate window:
'     ReadCertificateFile "C:\dane\certificate.xml"
'     ReadCertificateFile "C:\dane\certificate-payload.txt", "C:\dane\wyniki"
Option Explicit

Private Const ObjectNotSet As Long = 91

' A data file (*.xml) is loaded with ReadData; any other file is taken as the text a scanner read from the
' certificate's Aztec code, for ReadCodetData, whose saved copy is kept in resultFolder when one is given.
Public Sub ReadCertificateFile(ByVal path As String, Optional ByVal resultFolder As String = "")
    Dim reader As Object
    Dim status As String
    ' The server resolves paths in its own current folder, not this program's: it gets absolute ones.
    path = AbsolutePath(path)
    If resultFolder <> "" Then resultFolder = AbsolutePath(resultFolder)
    Set reader = CreateObject("VarnokSrv.FileReader")
    If LCase$(Right$(path, 4)) = ".xml" Then
        status = reader.ReadData(path)
    Else
        status = LoadCodet(reader, ReadAllText(path), resultFolder)
    End If
    PrintFields reader, status
End Sub

' The saved copy (or the error log) holds the owner's personal data. It goes to resultFolder; without one, to a
' folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
Public Function LoadCodet(ByVal reader As Object, ByVal codet As String, ByVal resultFolder As String) As String
    If resultFolder <> "" Then
        LoadCodet = reader.ReadCodetData(codet, resultFolder)
        Exit Function
    End If
    Dim fso As Object, scratch As String
    Set fso = CreateObject("Scripting.FileSystemObject")
    scratch = fso.BuildPath(Environ$("TEMP"), fso.GetTempName())
    fso.CreateFolder scratch
    On Error GoTo Failed
    LoadCodet = reader.ReadCodetData(codet, scratch)
    fso.DeleteFolder scratch, True
    Exit Function
Failed:
    Dim number As Long, source As String, description As String
    number = Err.Number: source = Err.Source: description = Err.Description
    fso.DeleteFolder scratch, True
    Err.Raise number, source, description
End Function

' The 31 fields of what the reader loaded, or the status when it loaded nothing.
Public Sub PrintFields(ByVal reader As Object, ByVal status As String)
    If status <> "OK" Then
        Debug.Print "Status: " & status
        Exit Sub
    End If
    Dim name As Variant
    For Each name In PropertyNames()
        Debug.Print name & ": " & FieldText(reader, CStr(name))
    Next
    reader.CloseData
End Sub

' One property's text; "(brak: ...)" when the loaded document lacks its element (run-time error 91).
Public Function FieldText(ByVal reader As Object, ByVal name As String) As String
    On Error GoTo Failed
    ' OrganWydajacy separates its lines with a carriage return alone.
    FieldText = Replace(CallByName(reader, name, VbGet), vbCr, " / ")
    Exit Function
Failed:
    If Err.Number <> ObjectNotSet Then Err.Raise Err.Number, Err.Source, Err.Description
    FieldText = "(brak: " & Err.Description & ")"
End Function

Public Function PropertyNames() As Variant
    PropertyNames = Array("NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji", _
        "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", _
        "Marka", "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", _
        "DataWydaniaDR", "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", _
        "PojSilnika", "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", _
        "OrganWydajacy")
End Function

Private Function ReadAllText(ByVal path As String) As String
    ReadAllText = CreateObject("Scripting.FileSystemObject").OpenTextFile(path, 1).ReadAll()
End Function

' C:\... and \\server\share\... stay as they are; anything else is taken from the current folder (CurDir).
Public Function AbsolutePath(ByVal path As String) As String
    If Mid$(path, 2, 2) = ":\" Or Left$(path, 2) = "\\" Then
        AbsolutePath = path
    Else
        AbsolutePath = CurDir$ & "\" & path
    End If
End Function
