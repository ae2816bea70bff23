// Reads a certificate through VarnokSrv and prints its fields: a data file (*.xml) with ReadData; a scan (an image
// or a PDF, known by its first bytes) through ImageReader.ReadCodet, whose text goes to ReadCodetData; any other
// file as the text a scanner read from the certificate's Aztec code, with ReadCodetData.
// Usage: cscript //nologo read-certificate.js <data file, scan or payload file> [folder to keep the saved copy in]
var properties = [
    "NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji",
    "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", "Marka",
    "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", "DataWydaniaDR",
    "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika",
    "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "OrganWydajacy"
];

if (WScript.Arguments.length < 1) {
    WScript.Echo("Usage: cscript //nologo read-certificate.js <data file, scan or payload file> " +
                 "[folder to keep the saved copy in]");
    WScript.Quit(2);
}

// The server resolves paths in its own current folder, not ours: hand it absolute ones.
var fso = new ActiveXObject("Scripting.FileSystemObject");
function absolute(path) {
    return /^([a-z]:\\|\\\\)/i.test(path) ? path : fso.GetAbsolutePathName(path);
}
// A scan by its content, whatever its name: PNG, JPEG, BMP, GIF, TIFF or PDF. A scanner's text is Base64, which
// none of these begins with. Read as UTF-16, each character holds two of the file's bytes, untouched by any code
// page.
function isScan(path) {
    var stream = fso.OpenTextFile(path, 1, false, -1);
    var head = stream.AtEndOfStream ? "" : stream.Read(512);
    stream.Close();
    var bytes = "";
    for (var i = 0; i < head.length; i++) {
        bytes += String.fromCharCode(head.charCodeAt(i) & 0xFF, head.charCodeAt(i) >> 8);
    }
    var magic = ["\x89PNG\r\n\x1A\n", "\xFF\xD8\xFF", "GIF8", "II*\x00", "MM\x00*"];
    for (var m = 0; m < magic.length; m++) {
        if (bytes.substr(0, magic[m].length) == magic[m]) return true;
    }
    return (bytes.substr(0, 2) == "BM" && bytes.substr(6, 4) == "\x00\x00\x00\x00") || bytes.indexOf("%PDF-") >= 0;
}

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

var path = absolute(WScript.Arguments(0));
var reader = create("VarnokSrv.FileReader");
var status;
if (/\.xml$/i.test(path)) {
    status = reader.ReadData(path);
} else {
    var folder = WScript.Arguments.length > 1 ? absolute(WScript.Arguments(1)) : null;
    var payload;
    if (isScan(path)) {
        var imageReader = create("VarnokSrv.ImageReader");
        try {
            payload = imageReader.ReadCodet(path);
        } catch (e) {
            // 53 no such file, 75 file locked, 321 not an image, 1001 too large, 1002 no code found, 1003 code damaged.
            WScript.Echo("Obraz: " + e.description + " (Err.Number = " + (e.number & 0xFFFF) + ")");
            imageReader = null;
            reader = null;
            CollectGarbage();
            WScript.Quit(1);
        }
        imageReader = null;
    } else {
        payload = fso.OpenTextFile(path, 1).ReadAll();
    }
    status = readCodetData(reader, payload, folder);
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
