// Reads a certificate data file through VarnokSrv and prints its fields.
// Usage: cscript //nologo read-certificate.js C:\path\to\certificate.xml
var properties = [
    "NumerDR", "RodzajPojazdu", "NazwiskoNazwa", "Adres", "Przeznaczenie", "RokProdukcji",
    "DopuszczalnaLadownosc", "DopuszczalnyNacisk", "NumerKarty", "NrRejestracyjny", "DataIRejestracji", "Marka",
    "Typ", "Model", "VIN", "MaxMasaCalk", "DopuszczalnaMasaCalk", "MasaZesp", "MasaWlasna", "DataWydaniaDR",
    "KategoriaPojazdu", "Podrodzaj", "LiczbaOsi", "MaxMasaPrzyczZH", "MaxMasaPrzyczBH", "PojSilnika",
    "MaksymalnaMocNetto", "RodzajPaliwa", "LiczbaMiejscSiedz", "LiczbaMiejscStoj", "OrganWydajacy"
];

if (WScript.Arguments.length < 1) {
    WScript.Echo("Usage: cscript //nologo read-certificate.js <data file>");
    WScript.Quit(2);
}

var reader = new ActiveXObject("VarnokSrv.FileReader");
var status = reader.ReadData(WScript.Arguments(0));
if (status != "OK") {
    WScript.Echo("ReadData: " + status);
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
