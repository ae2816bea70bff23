program ReadCertificate;

{ Reads a certificate through VarnokSrv from Delphi or Free Pascal (Windows target): late binding with an
  OleVariant for a data file or a payload, early binding (VarnokSrv_TLB.pas) for an image.
    ReadCertificate <data file (*.xml), image or payload file> [folder for result files]
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

var
  Reader: OleVariant;
  Path, Folder, Codet, Status, Name, Value: string;
  I: Integer;
begin
  if ParamCount < 1 then
  begin
    Writeln('Usage: ReadCertificate <data file, image or payload file> [folder for result files]');
    Halt(2);
  end;
  CoInitialize(nil);
  try
    // The server resolves a relative path in its own current folder, not ours: pass absolute ones.
    Path := ExpandFileName(ParamStr(1));
    if ParamCount > 1 then Folder := ExpandFileName(ParamStr(2)) else Folder := GetEnvironmentVariable('TEMP');
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
        Status := Reader.ReadCodetData(Codet, Folder);
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
