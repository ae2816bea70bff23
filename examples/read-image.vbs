' Reads a certificate from a scan or a photo of it: VarnokSrv.ImageReader finds the Aztec code in the image and
' gives its text, VarnokSrv.FileReader decodes that text, and the fields are printed.
' Usage: cscript //nologo read-image.vbs <image: PNG, JPEG, BMP, GIF or TIFF> [folder to keep the saved copy in]
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
    WScript.Echo "Usage: cscript //nologo read-image.vbs <image file> [folder to keep the saved copy in]"
    WScript.Quit 2
End If

Dim fso, image, folder, codet, reader, status, value
' The server resolves paths in its own current folder, not ours: hand it absolute ones.
Set fso = CreateObject("Scripting.FileSystemObject")
Function Absolute(path)
    If Mid(path, 2, 2) = ":\" Or Left(path, 2) = "\\" Then
        Absolute = path
    Else
        Absolute = fso.GetAbsolutePathName(path)
    End If
End Function
image = Absolute(WScript.Arguments(0))
folder = ""
If WScript.Arguments.Count > 1 Then folder = Absolute(WScript.Arguments(1))

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

Dim imageReader
Set imageReader = Create("VarnokSrv.ImageReader")
On Error Resume Next
codet = imageReader.ReadCodet(image)
If Err.Number <> 0 Then
    ' 53 no such file, 75 file locked, 321 not an image, 1001 too large, 1002 no code found, 1003 code damaged.
    WScript.Echo "Obraz: " & Err.Description & " (Err.Number = " & (Err.Number And &HFFFF&) & ")"
    WScript.Quit 1
End If
On Error GoTo 0

Set imageReader = Nothing
Set reader = Create("VarnokSrv.FileReader")
status = LoadCodet(reader, codet, folder)
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
