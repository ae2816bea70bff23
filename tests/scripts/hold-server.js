// Keeps the server of the prefix running while a test starts one short-lived client after another: holds a
// FileReader and an ImageReader until the stop file given appears, then lets them go and ends. (Under Wine, an
// activation that meets an idle server revoking its classes fails instead of starting a new server.)
// Usage: cscript //nologo hold-server.js <stop file>
var fso = new ActiveXObject("Scripting.FileSystemObject");
var reader = new ActiveXObject("VarnokSrv.FileReader");
var images = new ActiveXObject("VarnokSrv.ImageReader");
WScript.Echo("holding");
while (!fso.FileExists(WScript.Arguments(0)))
    WScript.Sleep(100);
reader = null;
images = null;
CollectGarbage();
