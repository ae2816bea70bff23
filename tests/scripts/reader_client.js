// FileReader as a script host sees it (cscript, JScript). Arguments: the sample certificate's path and a scratch
// folder. Prints one line per failure and a closing "RESULT pass=N fail=M" line that the runner checks: cscript
// itself hides script errors.
var pass = 0, fail = 0;
function check(what, actual, expected) {
    if (actual === expected) { pass++; return; }
    fail++;
    WScript.Echo("FAIL " + what + ": got [" + escape(String(actual)) + "] expected [" + escape(String(expected)) + "]");
}
function failureOf(reader, property) {
    try {
        var value = reader[property];
        return "no error, value [" + value + "]";
    } catch (e) {
        return e.number + " " + e.description;
    }
}

var objectNotSet = -2146828197 + " Nie ustawiono zmiennej obiektu lub zmiennej bloku With";  // 0x800A005B
var sample = WScript.Arguments(0);
var scratch = WScript.Arguments(1);

var expected = {
    NumerDR: "DR/BAA/0012345",
    RodzajPojazdu: "SAMOCH\u00D3D OSOBOWY",
    NazwiskoNazwa: "JANINA KOWALCZYK-\u017B\u00D3\u0141TEK",
    Adres: "02-517 WARSZAWA, WA\u0141BRZYSKA 24/30",
    Przeznaczenie: "---",
    RokProdukcji: "2019",
    DopuszczalnaLadownosc: "455 ",
    DopuszczalnyNacisk: "10.5 ",
    NumerKarty: "AAB1234567",
    NrRejestracyjny: "WA 12345",
    DataIRejestracji: "2019-03-14",
    Marka: "\u017BUBR",
    Typ: "\u0141O\u015A KOMBI 1.6 \u0179R\u00D3D\u0141O",
    Model: "\u015AWIT",
    VIN: "ZZZ1234567890ABCD",
    MaxMasaCalk: "1845",
    DopuszczalnaMasaCalk: "1845",
    MasaZesp: "3145",
    MasaWlasna: "1390",
    DataWydaniaDR: "2023-05-22",
    KategoriaPojazdu: "M1",
    Podrodzaj: "KOMBI",
    LiczbaOsi: "2",
    MaxMasaPrzyczZH: "1300",
    MaxMasaPrzyczBH: "650",
    PojSilnika: "1598.00",
    MaksymalnaMocNetto: "85.00 ",
    RodzajPaliwa: "P",
    LiczbaMiejscSiedz: "5",
    LiczbaMiejscStoj: "---",
    OrganWydajacy: "PREZYDENT M. ST. WARSZAWY\rUL. \u015AWI\u0118TOKRZYSKA 12\r00-916 WARSZAWA"
};

var reader = new ActiveXObject("VarnokSrv.FileReader");
var count = 0;
for (var name in expected) {
    count++;
    check("new object " + name, failureOf(reader, name), objectNotSet);
}
check("property count", count, 31);
reader.CloseData();
reader.CloseData();

check("ReadData sample", reader.ReadData(sample), "OK");
for (var name in expected)
    check(name, reader[name], expected[name]);

reader.CloseData();
check("after CloseData", reader.Marka, expected.Marka);

check("empty path", reader.ReadData(""), "Scie\u017Cka do pliku z danymi jest niepoprawna !");
var missing = scratch + "\\brak.xml";
check("missing file", reader.ReadData(missing), "Brak pliku " + missing);
check("kept after failed loads", reader.NrRejestracyjny, "WA 12345");

var fso = new ActiveXObject("Scripting.FileSystemObject");
var notXml = scratch + "\\nie-xml.xml";
var stream = fso.CreateTextFile(notXml, true);
stream.Write("to nie jest XML");
stream.Close();
check("not XML", reader.ReadData(notXml), "B\u0142\u0105d ReadData: B\u0142\u0105d parsowania Xml");
check("no root after a parse error", failureOf(reader, "NrRejestracyjny"), objectNotSet);

var other = new ActiveXObject("VarnokSrv.FileReader");
check("second object starts empty", failureOf(other, "VIN"), objectNotSet);
check("second object loads", other.ReadData(sample), "OK");
check("first object unaffected", failureOf(reader, "VIN"), objectNotSet);
check("second object reads", other.VIN, expected.VIN);

WScript.Echo("RESULT pass=" + pass + " fail=" + fail);
