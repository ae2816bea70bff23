// Reads a certificate through VarnokSrv with early binding (VarnokSrvInterop.cs): a data file (*.xml) with
// ReadData, an image through ImageReader.ReadCodet, any other file as a scanner's payload with ReadCodetData.
//   ReadCertificateEarly.exe <data file, image or payload file> [folder to keep the saved copy in]
// Build: csc (or mcs) ReadCertificateEarly.cs VarnokSrvInterop.cs
using System;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using Varnok.Interop;

static class ReadCertificateEarly
{
    static readonly string[] ImageExtensions = { ".png", ".jpg", ".jpeg", ".bmp", ".gif", ".tif", ".tiff" };

    // The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
    // to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
    static string LoadCodet(FileReader reader, string codet, string folder)
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
            Console.WriteLine("Usage: ReadCertificateEarly <data file, image or payload file> [folder to keep the saved copy in]");
            return 2;
        }
        // The server resolves a relative path in its own current folder, not ours: it gets absolute ones.
        string path = Path.GetFullPath(args[0]);
        string folder = args.Length > 1 ? Path.GetFullPath(args[1]) : null;
        string extension = Path.GetExtension(path).ToLowerInvariant();

        FileReader reader = new FileReader();
        try {
            string status;
            if (extension == ".xml") {
                status = reader.ReadData(path);
            } else {
                string codet;
                if (Array.IndexOf(ImageExtensions, extension) >= 0) {
                    ImageReader image = new ImageReader();
                    try {
                        codet = image.ReadCodet(path);
                    } catch (COMException e) {
                        // Err.Number in VBA terms: the low word of 0x800A0000 + n.
                        Console.WriteLine("Obraz: {0} (0x{1:X8}, {2})", e.Message, e.HResult, e.HResult & 0xFFFF);
                        return 1;
                    } finally {
                        Marshal.FinalReleaseComObject(image);
                    }
                } else {
                    codet = File.ReadAllText(path);  // plain ASCII (Base64)
                }
                status = LoadCodet(reader, codet, folder);
            }
            if (status != "OK") {
                Console.WriteLine("Status: " + status);
                return 1;
            }
            Console.WriteLine("NrRejestracyjny: " + reader.NrRejestracyjny);
            Console.WriteLine("Marka: " + reader.Marka + " " + reader.Typ);
            try {
                Console.WriteLine("Podrodzaj: " + reader.Podrodzaj);
            } catch (COMException e) when (e.HResult == Errors.ObjectNotSet) {
                Console.WriteLine("Podrodzaj: (brak w tym dowodzie)");  // an older certificate has no such field
            }
            // Number properties are texts with "." as the decimal separator, possibly with blanks around them.
            double mass;
            if (double.TryParse(reader.DopuszczalnaMasaCalk.Trim(), NumberStyles.Float, CultureInfo.InvariantCulture,
                                out mass))
                Console.WriteLine("DopuszczalnaMasaCalk [kg]: " + mass.ToString(CultureInfo.CurrentCulture));
            reader.CloseData();
            return 0;
        } finally {
            // Let go at once, not at the next garbage collection: the server leaves when no client holds an object.
            Marshal.FinalReleaseComObject(reader);
        }
    }
}
