// Reads a certificate through VarnokSrv with late binding: no declarations, every call by name at run time
// (as VBScript does). Needs C# 4 or later and a reference to Microsoft.CSharp.
//   ReadCertificateLate.exe <data file (*.xml) or payload file> [folder for result files]
// Build: csc (or mcs) -r:Microsoft.CSharp ReadCertificateLate.cs
using System;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;

static class ReadCertificateLate
{
    static readonly string[] Properties = {
        "NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji",
        "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", "Marka",
        "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", "DataWydaniaDR",
        "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika",
        "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "OrganWydajacy"
    };
    const int ObjectNotSet = unchecked((int)0x800A005B);

    static int Main(string[] args)
    {
        if (args.Length < 1) {
            Console.WriteLine("Usage: ReadCertificateLate <data file or payload file> [folder for result files]");
            return 2;
        }
        Type type = Type.GetTypeFromProgID("VarnokSrv.FileReader", true);
        dynamic reader = Activator.CreateInstance(type);
        try {
            // Absolute paths: the server resolves a relative one in its own current folder.
            string path = Path.GetFullPath(args[0]);
            string status = path.EndsWith(".xml", StringComparison.OrdinalIgnoreCase)
                ? reader.ReadData(path)
                : reader.ReadCodetData(File.ReadAllText(path),
                                       Path.GetFullPath(args.Length > 1 ? args[1] : Path.GetTempPath()));
            if (status != "OK") {
                Console.WriteLine("Status: " + status);
                return 1;
            }
            foreach (string name in Properties) {
                string text;
                try {
                    text = (string)type.InvokeMember(name, System.Reflection.BindingFlags.GetProperty, null, reader,
                                                     null);
                } catch (System.Reflection.TargetInvocationException e)
                    when (e.InnerException is COMException && e.InnerException.HResult == ObjectNotSet) {
                    text = "(brak: " + e.InnerException.Message + ")";
                }
                Console.WriteLine(name + ": " + text.Replace("\r", " / "));
            }
            // Number texts use "." whatever the user's settings: parse them with the invariant culture.
            decimal engine;
            if (decimal.TryParse(((string)reader.PojSilnika).Trim(), NumberStyles.Number, CultureInfo.InvariantCulture,
                                 out engine))
                Console.WriteLine("PojSilnika [cm3]: " + engine.ToString("N0", CultureInfo.CurrentCulture));
            reader.CloseData();
            return 0;
        } catch (COMException e) {
            Console.WriteLine("Błąd 0x{0:X8}: {1}", e.HResult, e.Message);
            return 1;
        } finally {
            Marshal.FinalReleaseComObject(reader);
        }
    }
}
