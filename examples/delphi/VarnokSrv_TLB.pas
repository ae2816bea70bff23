unit VarnokSrv_TLB;

{ Early binding to VarnokSrv: the interfaces of the type libraries inside VarnokSrv.exe, as Delphi's
  Component > Import Component > Import a Type Library (or tlibimp VarnokSrv.exe) declares them. Dual interfaces:
  safecall turns a failing HRESULT into an EOleException/EOleSysError with the server's description. }

interface

uses
  Windows, ActiveX, ComObj;

const
  CLASS_FileReader: TGUID = '{7C882FC3-4DBD-488F-9843-FA7021797487}';
  IID__FileReader: TGUID = '{828403FC-4836-4F34-B09D-33ED4C913C0B}';
  CLASS_ImageReader: TGUID = '{128CB66A-E9FD-4CE0-8455-F504A1312A42}';
  IID__ImageReader: TGUID = '{EC045F1D-EFBB-4025-AE0D-FE31A26921D5}';

type
  // In vtable order: the server checks nothing by name here.
  _FileReader = interface(IDispatch)
    ['{828403FC-4836-4F34-B09D-33ED4C913C0B}']
    function ReadCodetData(const CodetString: WideString; const LocalPath: WideString): WideString; safecall;
    function ReadData(const FilePath: WideString): WideString; safecall;
    function Get_NumerDR: WideString; safecall;
    function Get_RodzajPojazdu: WideString; safecall;
    function Get_NazwiskoNazwa: WideString; safecall;
    function Get_Adres: WideString; safecall;
    function Get_Przeznaczenie: WideString; safecall;
    function Get_RokProdukcji: WideString; safecall;
    function Get_DopuszczalnaLadownosc: WideString; safecall;
    function Get_DopuszczalnyNacisk: WideString; safecall;
    function Get_NumerKarty: WideString; safecall;
    function Get_NrRejestracyjny: WideString; safecall;
    function Get_DataIRejestracji: WideString; safecall;
    function Get_Marka: WideString; safecall;
    function Get_Typ: WideString; safecall;
    function Get_Model: WideString; safecall;
    function Get_VIN: WideString; safecall;
    function Get_MaxMasaCalk: WideString; safecall;
    function Get_DopuszczalnaMasaCalk: WideString; safecall;
    function Get_MasaZesp: WideString; safecall;
    function Get_MasaWlasna: WideString; safecall;
    function Get_DataWydaniaDR: WideString; safecall;
    function Get_KategoriaPojazdu: WideString; safecall;
    function Get_Podrodzaj: WideString; safecall;
    function Get_LiczbaOsi: WideString; safecall;
    function Get_MaxMasaPrzyczZH: WideString; safecall;
    function Get_MaxMasaPrzyczBH: WideString; safecall;
    function Get_PojSilnika: WideString; safecall;
    function Get_MaksymalnaMocNetto: WideString; safecall;
    function Get_RodzajPaliwa: WideString; safecall;
    function Get_LiczbaMiejscSiedz: WideString; safecall;
    function Get_LiczbaMiejscStoj: WideString; safecall;
    function Get_OrganWydajacy: WideString; safecall;
    procedure CloseData; safecall;
    property NumerDR: WideString read Get_NumerDR;
    property NrRejestracyjny: WideString read Get_NrRejestracyjny;
    property Marka: WideString read Get_Marka;
    property Podrodzaj: WideString read Get_Podrodzaj;
    property DopuszczalnaMasaCalk: WideString read Get_DopuszczalnaMasaCalk;
    property PojSilnika: WideString read Get_PojSilnika;
  end;

  _ImageReader = interface(IDispatch)
    ['{EC045F1D-EFBB-4025-AE0D-FE31A26921D5}']
    function ReadCodet(const ImagePath: WideString): WideString; safecall;
  end;

function CreateFileReader: _FileReader;
function CreateImageReader: _ImageReader;

implementation

function CreateFileReader: _FileReader;
begin
  Result := CreateComObject(CLASS_FileReader) as _FileReader;
end;

function CreateImageReader: _ImageReader;
begin
  Result := CreateComObject(CLASS_ImageReader) as _ImageReader;
end;

end.
