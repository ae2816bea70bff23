// Early binding to VarnokSrv: the two interfaces declared with the type libraries' identifiers, in vtable order,
// so that the compiler checks every call. Equivalent to an interop assembly made with
//   tlbimp VarnokSrv.exe /out:VarnokSrv.Interop.dll      and      tlbimp VarnokSrv.exe\2 /out:VarnokSrvImage.Interop.dll
// Both interfaces are dual: a 64-bit (AnyCPU) program calls the 32-bit server through the type-library marshaler.
using System.Runtime.InteropServices;

namespace Varnok.Interop
{
    [ComImport, Guid("828403FC-4836-4F34-B09D-33ED4C913C0B"), InterfaceType(ComInterfaceType.InterfaceIsDual)]
    public interface IFileReader
    {
        [DispId(0x6003001F)] string ReadCodetData(string CodetString, string LocalPath);
        [DispId(0x60030020)] string ReadData(string FilePath);
        string NumerDR { [DispId(0x6803001E)] get; }
        string RodzajPojazdu { [DispId(0x6803001D)] get; }
        string NazwiskoNazwa { [DispId(0x6803001C)] get; }
        string Adres { [DispId(0x6803001B)] get; }
        string Przeznaczenie { [DispId(0x6803001A)] get; }
        string RokProdukcji { [DispId(0x68030019)] get; }
        string DopuszczalnaLadownosc { [DispId(0x68030018)] get; }
        string DopuszczalnyNacisk { [DispId(0x68030017)] get; }
        string NumerKarty { [DispId(0x68030016)] get; }
        string NrRejestracyjny { [DispId(0x68030015)] get; }
        string DataIRejestracji { [DispId(0x68030014)] get; }
        string Marka { [DispId(0x68030013)] get; }
        string Typ { [DispId(0x68030012)] get; }
        string Model { [DispId(0x68030011)] get; }
        string VIN { [DispId(0x68030010)] get; }
        string MaxMasaCalk { [DispId(0x6803000F)] get; }
        string DopuszczalnaMasaCalk { [DispId(0x6803000E)] get; }
        string MasaZesp { [DispId(0x6803000D)] get; }
        string MasaWlasna { [DispId(0x6803000C)] get; }
        string DataWydaniaDR { [DispId(0x6803000B)] get; }
        string KategoriaPojazdu { [DispId(0x6803000A)] get; }
        string Podrodzaj { [DispId(0x68030009)] get; }
        string LiczbaOsi { [DispId(0x68030008)] get; }
        string MaxMasaPrzyczZH { [DispId(0x68030007)] get; }
        string MaxMasaPrzyczBH { [DispId(0x68030006)] get; }
        string PojSilnika { [DispId(0x68030005)] get; }
        string MaksymalnaMocNetto { [DispId(0x68030004)] get; }
        string RodzajPaliwa { [DispId(0x68030003)] get; }
        string LiczbaMiejscSiedz { [DispId(0x68030002)] get; }
        string LiczbaMiejscStoj { [DispId(0x68030001)] get; }
        string OrganWydajacy { [DispId(0x68030000)] get; }
        [DispId(0x60030021)] void CloseData();
    }

    [ComImport, Guid("EC045F1D-EFBB-4025-AE0D-FE31A26921D5"), InterfaceType(ComInterfaceType.InterfaceIsDual)]
    public interface IImageReader
    {
        [DispId(0x60030000)] string ReadCodet(string ImagePath);
    }

    // `new FileReader()` activates the class out of process and hands back its interface.
    [ComImport, Guid("7C882FC3-4DBD-488F-9843-FA7021797487"), ClassInterface(ClassInterfaceType.None)]
    public class FileReaderClass { }

    [ComImport, Guid("128CB66A-E9FD-4CE0-8455-F504A1312A42"), ClassInterface(ClassInterfaceType.None)]
    public class ImageReaderClass { }

    [ComImport, Guid("828403FC-4836-4F34-B09D-33ED4C913C0B"), CoClass(typeof(FileReaderClass))]
    public interface FileReader : IFileReader { }

    [ComImport, Guid("EC045F1D-EFBB-4025-AE0D-FE31A26921D5"), CoClass(typeof(ImageReaderClass))]
    public interface ImageReader : IImageReader { }

    public static class Errors
    {
        // The property's element is not in the loaded document (or nothing is loaded): run-time error 91.
        public const int ObjectNotSet = unchecked((int)0x800A005B);
        // ImageReader.ReadCodet: 0x800A0000 + 53, 75, 321, 1001, 1002, 1003.
        public const int ImageFileNotFound = unchecked((int)0x800A0035);
        public const int NoAztecCode = unchecked((int)0x800A03EA);
    }
}
