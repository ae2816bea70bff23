program ReadCertificate;

{ Reads a certificate through VarnokSrv and prints its fields, as read-certificate.js does: a data file (*.xml) with
  ReadData and the text a scanner read from the certificate's Aztec code with ReadCodetData, both through late
  binding (an OleVariant: members looked up by name at run time); a scan (an image or a PDF, known by its first
  bytes) through early binding, with the units imported from the type libraries in VarnokSrv.exe
  (VarnokSrv_TLB.pas, VarnokSrvImage_TLB.pas).
    ReadCertificate <data file, scan or payload file> [folder for result files]
  Build: dcc32 ReadCertificate.dpr, or fpc -Twin32 ReadCertificate.dpr }

{$APPTYPE CONSOLE}
{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  Windows, SysUtils, Classes, Variants, ActiveX, ComObj, VarnokSrv_TLB, VarnokSrvImage_TLB;

const
  ObjectNotSet = HRESULT($800A005B);  // the property's element is not in the loaded document
  FieldCount = 31;
  FieldNames: array[0..FieldCount - 1] of string = (
    'NumerDR', 'RodzajPojazdu', 'NazwiskoNazwa', 'Adres', 'Przeznaczenie', 'RokProdukcji',
    'DopuszczalnaLadownosc', 'DopuszczalnyNacisk', 'NumerKarty', 'NrRejestracyjny', 'DataIRejestracji', 'Marka',
    'Typ', 'Model', 'VIN', 'MaxMasaCalk', 'DopuszczalnaMasaCalk', 'MasaZesp', 'MasaWlasna', 'DataWydaniaDR',
    'KategoriaPojazdu', 'Podrodzaj', 'LiczbaOsi', 'MaxMasaPrzyczZH', 'MaxMasaPrzyczBH', 'PojSilnika',
    'MaksymalnaMocNetto', 'RodzajPaliwa', 'LiczbaMiejscSiedz', 'LiczbaMiejscStoj', 'OrganWydajacy');

type
  TFields = array[0..FieldCount - 1] of WideString;

// Polish letters reach a console as they are, and a pipe or a file as UTF-8.
procedure Print(const Text: WideString);
var
  Output: THandle;
  Line: WideString;
  Bytes: UTF8String;
  Written: DWORD;
begin
  Output := GetStdHandle(STD_OUTPUT_HANDLE);
  Line := Text + #10;
  if (GetFileType(Output) = FILE_TYPE_CHAR) and
     WriteConsoleW(Output, PWideChar(Line), Length(Line), Written, nil) then
    Exit;
  Bytes := UTF8Encode(Line);
  WriteFile(Output, PAnsiChar(Bytes)^, Length(Bytes), Written, nil);
end;

// The server's description, when it came along; otherwise the HRESULT.
function Described(E: EOleSysError): WideString;
begin
  if Trim(E.Message) <> '' then
    Result := WideString(E.Message)
  else
    Result := 'HRESULT 0x' + WideString(IntToHex(E.ErrorCode, 8));
end;

// As VBA's Err shows it: the description and the number, the low word of the HRESULT.
function Failure(E: EOleSysError): WideString;
begin
  Result := Described(E) + ' (Err.Number = ' + WideString(IntToStr(E.ErrorCode and $FFFF)) + ')';
end;

// A scan by its content, whatever its name: PNG, JPEG, BMP, GIF, TIFF or PDF. A scanner's text is Base64, which
// none of these begins with. A file we cannot open goes to the server too, which says why (53, 75).
function IsScan(const Path: string): Boolean;
var
  Stream: TFileStream;
  Head: array[0..511] of Byte;
  Count, I: Integer;

  function Holds(const Magic: array of Byte; At: Integer): Boolean;
  var
    K: Integer;
  begin
    Result := At + Length(Magic) <= Count;
    for K := 0 to High(Magic) do
      Result := Result and (Head[At + K] = Magic[K]);
  end;

begin
  try
    Stream := TFileStream.Create(Path, fmOpenRead or fmShareDenyNone);
  except
    on EFOpenError do
    begin
      Result := True;
      Exit;
    end;
  end;
  try
    Count := Stream.Read(Head, SizeOf(Head));
  finally
    Stream.Free;
  end;
  Result := Holds([$89, $50, $4E, $47, $0D, $0A, $1A, $0A], 0) or Holds([$FF, $D8, $FF], 0) or
            Holds([$47, $49, $46, $38], 0) or Holds([$49, $49, $2A, $00], 0) or Holds([$4D, $4D, $00, $2A], 0) or
            (Holds([$42, $4D], 0) and Holds([0, 0, 0, 0], 6));
  for I := 0 to Count - 5 do
    Result := Result or Holds([$25, $50, $44, $46, $2D], I);  // "%PDF-", after whatever a scanner put first
end;

// The scanner's text is ASCII.
function ReadText(const Path: string): WideString;
var
  Stream: TFileStream;
  Text: AnsiString;
begin
  Stream := TFileStream.Create(Path, fmOpenRead or fmShareDenyWrite);
  try
    SetLength(Text, Stream.Size);
    if Length(Text) > 0 then Stream.ReadBuffer(PAnsiChar(Text)^, Length(Text));
  finally
    Stream.Free;
  end;
  Result := WideString(Trim(string(Text)));
end;

// OrganWydajacy separates its lines with a carriage return alone.
function OneLine(const Text: WideString): WideString;
var
  I: Integer;
begin
  Result := '';
  for I := 1 to Length(Text) do
    if Text[I] = #13 then Result := Result + ' / ' else Result := Result + Text[I];
end;

// Number texts always use '.', whatever the user's regional settings, and may carry blanks.
function DotSettings: TFormatSettings;
begin
  Result := FormatSettings;
  Result.DecimalSeparator := '.';
  Result.ThousandSeparator := ',';
end;

function NumberOf(const Text: WideString): Double;
begin
  Result := StrToFloatDef(Trim(string(Text)), 0, DotSettings);
end;

// Late binding: each member is looked up by name when it is called.
function LateField(const Reader: OleVariant; Index: Integer): WideString;
begin
  case Index of
    0: Result := Reader.NumerDR;
    1: Result := Reader.RodzajPojazdu;
    2: Result := Reader.NazwiskoNazwa;
    3: Result := Reader.Adres;
    4: Result := Reader.Przeznaczenie;
    5: Result := Reader.RokProdukcji;
    6: Result := Reader.DopuszczalnaLadownosc;
    7: Result := Reader.DopuszczalnyNacisk;
    8: Result := Reader.NumerKarty;
    9: Result := Reader.NrRejestracyjny;
    10: Result := Reader.DataIRejestracji;
    11: Result := Reader.Marka;
    12: Result := Reader.Typ;
    13: Result := Reader.Model;
    14: Result := Reader.VIN;
    15: Result := Reader.MaxMasaCalk;
    16: Result := Reader.DopuszczalnaMasaCalk;
    17: Result := Reader.MasaZesp;
    18: Result := Reader.MasaWlasna;
    19: Result := Reader.DataWydaniaDR;
    20: Result := Reader.KategoriaPojazdu;
    21: Result := Reader.Podrodzaj;
    22: Result := Reader.LiczbaOsi;
    23: Result := Reader.MaxMasaPrzyczZH;
    24: Result := Reader.MaxMasaPrzyczBH;
    25: Result := Reader.PojSilnika;
    26: Result := Reader.MaksymalnaMocNetto;
    27: Result := Reader.RodzajPaliwa;
    28: Result := Reader.LiczbaMiejscSiedz;
    29: Result := Reader.LiczbaMiejscStoj;
  else
    Result := Reader.OrganWydajacy;
  end;
end;

// Early binding: the calls go through the interface's table, checked by the compiler.
function EarlyField(const Reader: _FileReader; Index: Integer): WideString;
begin
  case Index of
    0: Result := Reader.NumerDR;
    1: Result := Reader.RodzajPojazdu;
    2: Result := Reader.NazwiskoNazwa;
    3: Result := Reader.Adres;
    4: Result := Reader.Przeznaczenie;
    5: Result := Reader.RokProdukcji;
    6: Result := Reader.DopuszczalnaLadownosc;
    7: Result := Reader.DopuszczalnyNacisk;
    8: Result := Reader.NumerKarty;
    9: Result := Reader.NrRejestracyjny;
    10: Result := Reader.DataIRejestracji;
    11: Result := Reader.Marka;
    12: Result := Reader.Typ;
    13: Result := Reader.Model;
    14: Result := Reader.VIN;
    15: Result := Reader.MaxMasaCalk;
    16: Result := Reader.DopuszczalnaMasaCalk;
    17: Result := Reader.MasaZesp;
    18: Result := Reader.MasaWlasna;
    19: Result := Reader.DataWydaniaDR;
    20: Result := Reader.KategoriaPojazdu;
    21: Result := Reader.Podrodzaj;
    22: Result := Reader.LiczbaOsi;
    23: Result := Reader.MaxMasaPrzyczZH;
    24: Result := Reader.MaxMasaPrzyczBH;
    25: Result := Reader.PojSilnika;
    26: Result := Reader.MaksymalnaMocNetto;
    27: Result := Reader.RodzajPaliwa;
    28: Result := Reader.LiczbaMiejscSiedz;
    29: Result := Reader.LiczbaMiejscStoj;
  else
    Result := Reader.OrganWydajacy;
  end;
end;

// Says what failed: an object that cannot be created (error 429 from VBA) means the server is not registered.
procedure NotCreated(const ProgId: string; E: EOleSysError);
begin
  Print(WideString(ProgId) + ' cannot be created (error ' + WideString(IntToStr(E.ErrorCode and $FFFF)) + ': ' +
        Described(E) + '): register VarnokSrv (install it, or run register.cmd)');
end;

// A data file or a payload: late binding. False with the status printed when the server refused it.
function ReadLate(const Path, Folder: string; var Fields: TFields): Boolean;
var
  Reader: OleVariant;
  Status: WideString;
  I: Integer;
begin
  Result := False;
  try
    Reader := CreateOleObject('VarnokSrv.FileReader');
  except
    on E: EOleSysError do
    begin
      NotCreated('VarnokSrv.FileReader', E);
      Exit;
    end;
  end;
  try
    if SameText(ExtractFileExt(Path), '.xml') then
      Status := Reader.ReadData(WideString(Path))
    else
      Status := Reader.ReadCodetData(ReadText(Path), WideString(Folder));
    Result := Status = 'OK';
    if not Result then
    begin
      Print('Status: ' + Status);
      Exit;
    end;
    for I := 0 to FieldCount - 1 do
      try
        Fields[I] := OneLine(LateField(Reader, I));
      except
        // An element missing from the document: error 91 (0x800A005B), for that property alone.
        on E: EOleSysError do
          if E.ErrorCode = ObjectNotSet then Fields[I] := '(brak: ' + Described(E) + ')' else raise;
      end;
    Reader.CloseData;
  finally
    // Let go of the object now: the server exits once no client holds one.
    Reader := Unassigned;
  end;
end;

// A scan: early binding through the imported units.
function ReadScan(const Path, Folder: string; var Fields: TFields): Boolean;
var
  Scanner: _ImageReader;
  Reader: _FileReader;
  Codet, Status: WideString;
  I: Integer;
begin
  Result := False;
  try
    Scanner := CoImageReader.Create;
  except
    on E: EOleSysError do
    begin
      NotCreated('VarnokSrv.ImageReader', E);
      Exit;
    end;
  end;
  try
    Codet := Scanner.ReadCodet(WideString(Path));
  except
    // 53 no such file, 75 file locked, 321 not an image, 1001 too large, 1002 no code found, 1003 code damaged.
    on E: EOleSysError do
    begin
      Print('Obraz: ' + Failure(E));
      Exit;
    end;
  end;
  Scanner := nil;
  try
    Reader := CoFileReader.Create;
  except
    on E: EOleSysError do
    begin
      NotCreated('VarnokSrv.FileReader', E);
      Exit;
    end;
  end;
  Status := Reader.ReadCodetData(Codet, WideString(Folder));
  Result := Status = 'OK';
  if not Result then
  begin
    Print('Status: ' + Status);
    Exit;
  end;
  for I := 0 to FieldCount - 1 do
    try
      Fields[I] := OneLine(EarlyField(Reader, I));
    except
      on E: EOleSysError do
        if E.ErrorCode = ObjectNotSet then Fields[I] := '(brak: ' + Described(E) + ')' else raise;
    end;
  Reader.CloseData;
end;

// Empties and removes a folder this program made (it holds files only).
procedure RemoveScratch(const Folder: string);
var
  Found: TSearchRec;
begin
  if FindFirst(IncludeTrailingPathDelimiter(Folder) + '*', faAnyFile, Found) = 0 then
  try
    repeat
      if (Found.Attr and faDirectory) = 0 then DeleteFile(IncludeTrailingPathDelimiter(Folder) + Found.Name);
    until FindNext(Found) <> 0;
  finally
    FindClose(Found);
  end;
  RemoveDir(Folder);
end;

var
  Path, Folder, Scratch: string;
  Fields: TFields;
  Done: Boolean;
  I: Integer;
begin
  if ParamCount < 1 then
  begin
    Print('Usage: ReadCertificate <data file, scan or payload file> [folder for result files]');
    Halt(2);
  end;
  CoInitialize(nil);
  try
    // The server resolves paths in its own current folder, not ours: hand it absolute ones.
    Path := ExpandFileName(ParamStr(1));
    // The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
    // to a folder of our own in TEMP, removed once the fields are read.
    Scratch := '';
    if ParamCount > 1 then
      Folder := ExpandFileName(ParamStr(2))
    else
    begin
      Randomize;
      Scratch := IncludeTrailingPathDelimiter(GetEnvironmentVariable('TEMP')) + 'read-certificate-' +
                 IntToStr(Random(MaxInt));
      if not CreateDir(Scratch) then
      begin
        Print('Cannot create ' + WideString(Scratch));
        Halt(1);
      end;
      Folder := Scratch;
    end;
    try
      if SameText(ExtractFileExt(Path), '.xml') or not IsScan(Path) then
        Done := ReadLate(Path, Folder, Fields)
      else
        Done := ReadScan(Path, Folder, Fields);
    except
      // Whatever else the server or the file system refused: say what, and fail.
      on E: EOleSysError do
      begin
        Print('VarnokSrv: ' + Failure(E));
        Done := False;
      end;
      on E: Exception do
      begin
        Print(WideString(E.Message));
        Done := False;
      end;
    end;
    if Scratch <> '' then
      RemoveScratch(Scratch);
    if not Done then
      ExitCode := 1
    else
    begin
      for I := 0 to FieldCount - 1 do
        Print(WideString(FieldNames[I]) + ': ' + Fields[I]);
      // Written with '.' as well, so that the output is the same on every Windows.
      Print('PojSilnika [dm3]: ' + WideString(Format('%.3f', [NumberOf(Fields[25]) / 1000], DotSettings)));
    end;
  finally
    CoUninitialize;
  end;
end.
