' Reads a certificate through VarnokSrv and prints its fields: a data file (*.xml) with ReadData; a scan (an image
' or a PDF, known by its first bytes) through ImageReader.ReadCodet, whose text goes to ReadCodetData; any other
' file as the text a scanner read from the certificate's Aztec code, with ReadCodetData.
' Usage: cscript //nologo read-certificate.vbs <data file, scan or payload file> [folder to keep the saved copy in]
Option Explicit

' Prints one property: its text, or what is missing when reading it failed just before (error 91, &H800A005B,
' when the document lacks the property's element).
Sub Report(name, value)
    If Err.Number <> 0 Then
        WScript.Echo name & ": (brak: " & Err.Description & ")"
        Err.Clear
    Else
        ' OrganWydajacy separates its lines with a carriage return alone.
        WScript.Echo name & ": " & Replace(value, vbCr, " / ")
    End If
End Sub

If WScript.Arguments.Count < 1 Then
    WScript.Echo "Usage: cscript //nologo read-certificate.vbs <data file, scan or payload file> " & _
                 "[folder to keep the saved copy in]"
    WScript.Quit 2
End If

Dim path, fso, reader, imageReader, status, folder, value, payload
' The server resolves paths in its own current folder, not ours: hand it absolute ones.
Set fso = CreateObject("Scripting.FileSystemObject")
Function Absolute(path)
    If Mid(path, 2, 2) = ":\" Or Left(path, 2) = "\\" Then
        Absolute = path
    Else
        Absolute = fso.GetAbsolutePathName(path)
    End If
End Function

' A scan by its content, whatever its name: PNG, JPEG, BMP, GIF, TIFF or PDF. A scanner's text is Base64, which
' none of these begins with. The file is read in the ANSI code page, and Chr gives the same character for a byte.
Function IsScan(path)
    Dim stream, head, magic
    Set stream = fso.OpenTextFile(path, 1)
    head = ""
    If Not stream.AtEndOfStream Then head = stream.Read(512)
    stream.Close
    IsScan = InStr(head, "%PDF-") > 0 Or (Left(head, 2) = "BM" And Mid(head, 7, 4) = String(4, Chr(0)))
    For Each magic In Array(Chr(&H89) & "PNG" & vbCrLf & Chr(&H1A) & vbLf, Chr(&HFF) & Chr(&HD8) & Chr(&HFF), _
                            "GIF8", "II*" & Chr(0), "MM" & Chr(0) & "*")
        If Left(head, Len(magic)) = magic Then IsScan = True
    Next
End Function

' The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
' to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
Function LoadCodet(reader, payload, givenFolder)
    Dim scratch
    If givenFolder <> "" Then
        LoadCodet = reader.ReadCodetData(payload, givenFolder)
        Exit Function
    End If
    scratch = fso.BuildPath(fso.GetSpecialFolder(2).Path, fso.GetTempName())
    fso.CreateFolder scratch
    On Error Resume Next
    LoadCodet = reader.ReadCodetData(payload, scratch)
    Dim number, description
    number = Err.Number: description = Err.Description
    On Error GoTo 0
    fso.DeleteFolder scratch, True
    If number <> 0 Then Err.Raise number, "VarnokSrv.FileReader", description
End Function

' Says what failed: an object that cannot be created (error 429) means the server is not registered.
Function Create(progId)
    On Error Resume Next
    Set Create = CreateObject(progId)
    If Err.Number <> 0 Then
        WScript.Echo progId & " cannot be created (error " & (Err.Number And &HFFFF&) & ": " & Err.Description & _
                     "): register VarnokSrv (install it, or run register.cmd)"
        WScript.Quit 1
    End If
End Function

path = Absolute(WScript.Arguments(0))
Set reader = Create("VarnokSrv.FileReader")
If LCase(Right(path, 4)) = ".xml" Then
    status = reader.ReadData(path)
Else
    folder = ""
    If WScript.Arguments.Count > 1 Then folder = Absolute(WScript.Arguments(1))
    If IsScan(path) Then
        Set imageReader = Create("VarnokSrv.ImageReader")
        On Error Resume Next
        payload = imageReader.ReadCodet(path)
        If Err.Number <> 0 Then
            ' 53 no such file, 75 file locked, 321 not an image, 1001 too large, 1002 no code found, 1003 code damaged.
            WScript.Echo "Obraz: " & Err.Description & " (Err.Number = " & (Err.Number And &HFFFF&) & ")"
            Set imageReader = Nothing
            Set reader = Nothing
            WScript.Quit 1
        End If
        On Error GoTo 0
        Set imageReader = Nothing
    Else
        payload = fso.OpenTextFile(path, 1).ReadAll()
    End If
    status = LoadCodet(reader, payload, folder)
End If
If status <> "OK" Then
    WScript.Echo "Status: " & status
    ' Let go of the object before quitting: the server exits once no client holds one.
    Set reader = Nothing
    WScript.Quit 1
End If

' A failing read skips only its own assignment; Report, the next statement, shows the error.
On Error Resume Next
value = Empty: value = reader.NumerDR: Report "NumerDR", value
value = Empty: value = reader.RodzajPojazdu: Report "RodzajPojazdu", value
value = Empty: value = reader.NazwiskoNazwa: Report "NazwiskoNazwa", value
value = Empty: value = reader.Adres: Report "Adres", value
value = Empty: value = reader.Przeznaczenie: Report "Przeznaczenie", value
value = Empty: value = reader.RokProdukcji: Report "RokProdukcji", value
value = Empty: value = reader.DopuszczalnaLadownosc: Report "DopuszczalnaLadownosc", value
value = Empty: value = reader.DopuszczalnyNacisk: Report "DopuszczalnyNacisk", value
value = Empty: value = reader.NumerKarty: Report "NumerKarty", value
value = Empty: value = reader.NrRejestracyjny: Report "NrRejestracyjny", value
value = Empty: value = reader.DataIRejestracji: Report "DataIRejestracji", value
value = Empty: value = reader.Marka: Report "Marka", value
value = Empty: value = reader.Typ: Report "Typ", value
value = Empty: value = reader.Model: Report "Model", value
value = Empty: value = reader.VIN: Report "VIN", value
value = Empty: value = reader.MaxMasaCalk: Report "MaxMasaCalk", value
value = Empty: value = reader.DopuszczalnaMasaCalk: Report "DopuszczalnaMasaCalk", value
value = Empty: value = reader.MasaZesp: Report "MasaZesp", value
value = Empty: value = reader.MasaWlasna: Report "MasaWlasna", value
value = Empty: value = reader.DataWydaniaDR: Report "DataWydaniaDR", value
value = Empty: value = reader.KategoriaPojazdu: Report "KategoriaPojazdu", value
value = Empty: value = reader.Podrodzaj: Report "Podrodzaj", value
value = Empty: value = reader.LiczbaOsi: Report "LiczbaOsi", value
value = Empty: value = reader.MaxMasaPrzyczZH: Report "MaxMasaPrzyczZH", value
value = Empty: value = reader.MaxMasaPrzyczBH: Report "MaxMasaPrzyczBH", value
value = Empty: value = reader.PojSilnika: Report "PojSilnika", value
value = Empty: value = reader.MaksymalnaMocNetto: Report "MaksymalnaMocNetto", value
value = Empty: value = reader.RodzajPaliwa: Report "RodzajPaliwa", value
value = Empty: value = reader.LiczbaMiejscSiedz: Report "LiczbaMiejscSiedz", value
value = Empty: value = reader.LiczbaMiejscStoj: Report "LiczbaMiejscStoj", value
value = Empty: value = reader.OrganWydajacy: Report "OrganWydajacy", value
On Error GoTo 0
reader.CloseData
