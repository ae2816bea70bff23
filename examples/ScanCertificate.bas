Attribute VB_Name = "ScanCertificate"
' Scans a vehicle registration certificate with the scanner's own dialog (Windows Image Acquisition), reads its
' Aztec code through VarnokSrv.ImageReader and prints the fields in the Immediate window (Ctrl+G).
' Late binding: no reference to set, works in 32-bit and 64-bit Office alike. Import this module and
' ReadCertificate.bas (PrintFields) into Excel or Access: VBA editor, File > Import File..., then:
'     ScanAndReadCertificate                      scan, then read
'     ReadCertificateImage "C:\skany\dowod.jpg"   a scan or a photo already on disk
Option Explicit

' Windows Image Acquisition's constants.
Private Const ScannerDeviceType As Long = 1
Private Const GrayscaleIntent As Long = 2
Private Const MaximizeQuality As Long = 131072
Private Const wiaFormatPNG As String = "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}"

' ImageReader's error numbers (Err.Number).
Private Const ImageFileNotFound As Long = 53
Private Const ImageFileLocked As Long = 75
Private Const ImageUnreadable As Long = 321
Private Const ImageTooLarge As Long = 1001
Private Const NoAztecCode As Long = 1002
Private Const AztecCodeDamaged As Long = 1003

' Opens the scanner's own scanning dialog (gray picture preselected; "Adjust the quality" sets 300 dpi) and reads
' the page it scans. The scan shows the owner's personal data: it is deleted once read.
Public Sub ScanAndReadCertificate(Optional ByVal resultFolder As String = "")
    Dim path As String
    path = ScanToFile()
    If path = "" Then Exit Sub  ' cancelled, or no scanner
    ReadCertificateImage path, resultFolder
    Kill path
End Sub

' The scanned page saved as a PNG in the TEMP folder (the caller deletes it); "" when the user cancelled or no
' scanner is there.
Public Function ScanToFile() As String
    Dim dialog As Object, image As Object
    On Error GoTo NoScanner
    Set dialog = CreateObject("WIA.CommonDialog")
    ' The WIA scanning dialog: device type, intent, bias, format, always ask for the device, common UI, no error
    ' on cancel (Nothing instead).
    Set image = dialog.ShowAcquireImage(ScannerDeviceType, GrayscaleIntent, MaximizeQuality, wiaFormatPNG, _
                                        False, True, False)
    If image Is Nothing Then Exit Function
    Dim path As String
    path = Environ$("TEMP") & "\dowod-" & Format$(Now, "yyyymmdd-hhnnss") & ".png"
    If Dir$(path) <> "" Then Kill path
    image.SaveFile path
    ScanToFile = path
    Exit Function
NoScanner:
    Debug.Print "Skanowanie: " & Err.Description
    ScanToFile = ""
End Function

' Reads the certificate from a scan or a photo: the image's Aztec code, decoded by FileReader.ReadCodetData.
Public Sub ReadCertificateImage(ByVal imagePath As String, Optional ByVal resultFolder As String = "")
    Dim codet As String
    On Error GoTo ImageFailed
    ' The server resolves a relative path in its own current folder: always pass a full path.
    codet = CreateObject("VarnokSrv.ImageReader").ReadCodet(imagePath)
    On Error GoTo 0

    Dim reader As Object
    Set reader = CreateObject("VarnokSrv.FileReader")
    PrintFields reader, LoadCodet(reader, codet, resultFolder)  ' the saved copy kept only in resultFolder
    Exit Sub

ImageFailed:
    Select Case Err.Number
    Case ImageFileNotFound, ImageFileLocked
        Debug.Print "Plik: " & Err.Description
    Case ImageUnreadable, ImageTooLarge
        Debug.Print "Obraz: " & Err.Description & " - zapisz skan jako PNG, JPEG lub TIFF, 300 dpi"
    Case NoAztecCode, AztecCodeDamaged
        Debug.Print "Kod: " & Err.Description & " - zeskanuj ponownie, prosto i ostro"
    Case Else
        Debug.Print "Err.Number = " & Err.Number & ": " & Err.Description
    End Select
End Sub
