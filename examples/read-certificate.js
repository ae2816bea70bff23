// Reads a certificate through VarnokSrv and prints its fields: a data file (*.xml) with ReadData, or any other
// file as the text a scanner read from the certificate's Aztec code, with ReadCodetData.
// Usage: cscript //nologo read-certificate.js <data file or payload file> [folder for result files]
var properties = [
    "NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji",
    "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", "Marka",
    "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", "DataWydaniaDR",
    "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika",
    "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "OrganWydajacy"
];

if (WScript.Arguments.length < 1) {
    WScript.Echo("Usage: cscript //nologo read-certificate.js <data file or payload file> [folder for result files]");
    WScript.Quit(2);
}

// The server resolves paths in its own current folder, not ours: hand it absolute ones.
var fso = new ActiveXObject("Scripting.FileSystemObject");
function absolute(path) {
    return /^([a-z]:\\|\\\\)/i.test(path) ? path : fso.GetAbsolutePathName(path);
}
var path = absolute(WScript.Arguments(0));
var reader = new ActiveXObject("VarnokSrv.FileReader");
var status;
if (/\.xml$/i.test(path)) {
    status = reader.ReadData(path);
} else {
    // The saved copy (or the error log) goes to this folder: the temporary folder unless one is given.
    var folder = WScript.Arguments.length > 1 ? absolute(WScript.Arguments(1)) : fso.GetSpecialFolder(2).Path;
    var payload = fso.OpenTextFile(path, 1).ReadAll();
    status = reader.ReadCodetData(payload, folder);
}
if (status != "OK") {
    WScript.Echo("Status: " + status);
    // Let go of the object before quitting: the server exits once no client holds one.
    reader = null;
    CollectGarbage();
    WScript.Quit(1);
}

for (var i = 0; i < properties.length; i++) {
    var name = properties[i];
    var text;
    try {
        // OrganWydajacy separates its lines with a carriage return alone.
        text = String(reader[name]).replace(/\r/g, " / ");
    } catch (e) {
        // An element missing from the document: error 91 (0x800A005B).
        text = "(brak: " + e.description + ")";
    }
    WScript.Echo(name + ": " + text);
}
reader.CloseData();
