// Creates an object, loads a data file into it and then waits, holding it, until it is killed.
// Usage: cscript //nologo hold-object.js <ProgID> <data file>
var reader = new ActiveXObject(WScript.Arguments(0));
WScript.Echo("holding: " + reader.ReadData(WScript.Arguments(1)));
WScript.Sleep(600000);
