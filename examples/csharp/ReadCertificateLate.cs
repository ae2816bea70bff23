// Reads a certificate through VarnokSrv with late binding: no declarations, every call by name at run time
// (as VBScript does). Needs C# 4 or later and a reference to Microsoft.CSharp.
//   ReadCertificateLate.exe <data file (*.xml) or payload file> [folder to keep the saved copy in]
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

    // The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
    // to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
    static string LoadCodet(dynamic reader, string codet, string folder)
    {
        if (folder != null)
            return reader.ReadCodetData(codet, folder);
        string scratch = Path.Combine(Path.GetTempPath(), Path.GetRandomFileName());
        Directory.CreateDirectory(scratch);
        try {
            return reader.ReadCodetData(codet, scratch);
        } finally {
            Directory.Delete(scratch, true);
        }
    }

    static int Main(string[] args)
    {
        if (args.Length < 1) {
            Console.WriteLine("Usage: ReadCertificateLate <data file or payload file> [folder to keep the saved copy in]");
            return 2;
        }
        Type type = Type.GetTypeFromProgID("VarnokSrv.FileReader", true);
        dynamic reader = Activator.CreateInstance(type);
        try {
            // Absolute paths: the server resolves a relative one in its own current folder.
            string path = Path.GetFullPath(args[0]);
            string status = path.EndsWith(".xml", StringComparison.OrdinalIgnoreCase)
                ? reader.ReadData(path)
                : LoadCodet(reader, File.ReadAllText(path), args.Length > 1 ? Path.GetFullPath(args[1]) : null);
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
