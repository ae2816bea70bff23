program ReadCertificate;

{ Reads a certificate through VarnokSrv from Delphi or Free Pascal (Windows target): late binding with an
  OleVariant for a data file or a payload, early binding (VarnokSrv_TLB.pas) for an image.
    ReadCertificate <data file (*.xml), image or payload file> [folder to keep the saved copy in]
  Build: dcc32 ReadCertificate.dpr, or fpc -Mdelphi -Twin32 ReadCertificate.dpr }

{$APPTYPE CONSOLE}
{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  SysUtils, Classes, Variants, ActiveX, ComObj, VarnokSrv_TLB;

const
  ObjectNotSet = HRESULT($800A005B);  // the property's element is not in the loaded document
  PropertyNames: array[0..30] of string = (
    'NumerDR', 'RodzajPojazdu', 'NazwiskoNazwa', 'Adres', 'Przeznaczenie', 'RokProdukcji',
    'DopuszczalnaLadownosc', 'DopuszczalnyNacisk', 'NumerKarty', 'NrRejestracyjny', 'DataIRejestracji', 'Marka',
    'Typ', 'Model', 'VIN', 'MaxMasaCalk', 'DopuszczalnaMasaCalk', 'MasaZesp', 'MasaWlasna', 'DataWydaniaDR',
    'KategoriaPojazdu', 'Podrodzaj', 'LiczbaOsi', 'MaxMasaPrzyczZH', 'MaxMasaPrzyczBH', 'PojSilnika',
    'MaksymalnaMocNetto', 'RodzajPaliwa', 'LiczbaMiejscSiedz', 'LiczbaMiejscStoj', 'OrganWydajacy');

function IsImage(const Path: string): Boolean;
var
  Ext: string;
begin
  Ext := LowerCase(ExtractFileExt(Path));
  Result := (Ext = '.png') or (Ext = '.jpg') or (Ext = '.jpeg') or (Ext = '.bmp') or (Ext = '.gif') or
            (Ext = '.tif') or (Ext = '.tiff');
end;

function ReadText(const Path: string): string;
var
  Lines: TStringList;
begin
  Lines := TStringList.Create;
  try
    Lines.LoadFromFile(Path);
    Result := Trim(Lines.Text);
  finally
    Lines.Free;
  end;
end;

// Number texts always use '.', whatever the user's regional settings, and may carry blanks.
function NumberOf(const Text: string): Double;
var
  Dot: TFormatSettings;
begin
  Dot := DefaultFormatSettings;
  Dot.DecimalSeparator := '.';
  Result := StrToFloatDef(Trim(Text), 0, Dot);
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

// The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
// to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
function LoadCodet(const Reader: OleVariant; const Codet, Folder: string): string;
var
  Scratch: string;
begin
  if Folder <> '' then
    Exit(Reader.ReadCodetData(Codet, Folder));
  Scratch := IncludeTrailingPathDelimiter(GetEnvironmentVariable('TEMP')) + 'read-certificate-' +
             IntToStr(Random(MaxInt));
  if not CreateDir(Scratch) then
    raise Exception.Create('Cannot create ' + Scratch);
  try
    Result := Reader.ReadCodetData(Codet, Scratch);
  finally
    RemoveScratch(Scratch);
  end;
end;

var
  Reader: OleVariant;
  Path, Folder, Codet, Status, Name, Value: string;
  I: Integer;
begin
  if ParamCount < 1 then
  begin
    Writeln('Usage: ReadCertificate <data file, image or payload file> [folder to keep the saved copy in]');
    Halt(2);
  end;
  CoInitialize(nil);
  try
    // The server resolves a relative path in its own current folder, not ours: pass absolute ones.
    Path := ExpandFileName(ParamStr(1));
    Randomize;
    if ParamCount > 1 then Folder := ExpandFileName(ParamStr(2)) else Folder := '';
    Reader := CreateOleObject('VarnokSrv.FileReader');
    try
      if SameText(ExtractFileExt(Path), '.xml') then
        Status := Reader.ReadData(Path)
      else
      begin
        if IsImage(Path) then
          try
            Codet := CreateImageReader.ReadCodet(Path);
          except
            on E: EOleException do
            begin
              // 53 no such file, 75 locked, 321 not an image, 1001 too large, 1002 no code, 1003 damaged.
              Writeln(Format('Obraz: %s (Err.Number = %d)', [E.Message, E.ErrorCode and $FFFF]));
              ExitCode := 1;
              Exit;  // through the finally blocks: the object is released
            end;
          end
        else
          Codet := ReadText(Path);
        Status := LoadCodet(Reader, Codet, Folder);
      end;
      if Status <> 'OK' then
      begin
        Writeln('Status: ' + Status);
        ExitCode := 1;
        Exit;
      end;
      for I := Low(PropertyNames) to High(PropertyNames) do
      begin
        Name := PropertyNames[I];
        try
          Value := StringReplace(GetDispatchPropValue(IDispatch(Reader), Name), #13, ' / ', [rfReplaceAll]);
        except
          on E: EOleException do
            if E.ErrorCode = ObjectNotSet then Value := '(brak: ' + E.Message + ')' else raise;
        end;
        Writeln(Name + ': ' + Value);
      end;
      Writeln(Format('DopuszczalnaMasaCalk [t]: %.2f', [NumberOf(Reader.DopuszczalnaMasaCalk) / 1000]));
      Reader.CloseData;
    finally
      // Release the object now, so that the server can leave when its last client is done.
      Reader := Unassigned;
    end;
  finally
    CoUninitialize;
  end;
end.
