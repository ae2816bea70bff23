// Reads a certificate from a scan or a photo of it: VarnokSrv.ImageReader finds the Aztec code in the image and
// gives its text, VarnokSrv.FileReader decodes that text, and the fields are printed.
// Usage: cscript //nologo read-image.js <image: PNG, JPEG, BMP, GIF or TIFF> [folder to keep the saved copy in]
var properties = [
    "NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji",
    "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", "Marka",
    "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", "DataWydaniaDR",
    "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika",
    "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "OrganWydajacy"
];

if (WScript.Arguments.length < 1) {
    WScript.Echo("Usage: cscript //nologo read-image.js <image file> [folder to keep the saved copy in]");
    WScript.Quit(2);
}

// The server resolves paths in its own current folder, not ours: hand it absolute ones.
var fso = new ActiveXObject("Scripting.FileSystemObject");
function absolute(path) {
    return /^([a-z]:\\|\\\\)/i.test(path) ? path : fso.GetAbsolutePathName(path);
}
var image = absolute(WScript.Arguments(0));
var folder = WScript.Arguments.length > 1 ? absolute(WScript.Arguments(1)) : null;

// The saved copy (or the error log) holds the owner's personal data. It goes to the folder given; without one,
// to a folder of its own in TEMP, removed as soon as the load has returned (the fields stay in the object).
function readCodetData(reader, payload, givenFolder) {
    if (givenFolder) return reader.ReadCodetData(payload, givenFolder);
    var scratch = fso.BuildPath(fso.GetSpecialFolder(2).Path, fso.GetTempName());
    fso.CreateFolder(scratch);
    try {
        return reader.ReadCodetData(payload, scratch);
    } finally {
        fso.DeleteFolder(scratch, true);
    }
}

// Says what failed: an object that cannot be created (error 429) means the server is not registered.
function create(progId) {
    try {
        return new ActiveXObject(progId);
    } catch (e) {
        WScript.Echo(progId + " cannot be created (error " + (e.number & 0xFFFF) + ": " + e.description +
                     "): register VarnokSrv (install it, or run register.cmd)");
        WScript.Quit(1);
    }
}

var imageReader = create("VarnokSrv.ImageReader");
var codet;
try {
    codet = imageReader.ReadCodet(image);
} catch (e) {
    // 53 no such file, 75 file locked, 321 not an image, 1001 too large, 1002 no code found, 1003 code damaged.
    WScript.Echo("Obraz: " + e.description + " (Err.Number = " + (e.number & 0xFFFF) + ")");
    WScript.Quit(1);
}

imageReader = null;
var reader = create("VarnokSrv.FileReader");
var status = readCodetData(reader, codet, folder);
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
