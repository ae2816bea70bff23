#!/usr/bin/python3
"""Runs the guides' commands as a reader would, in a clean Wine prefix of its own with the packages as downloaded.

Every fenced block of a guide carries a marker, an HTML comment on the lines just before it:
  <!-- doc-test: run in=PLACE [needs=msi|nothing] [expect="TEXT"] [if-supported="/SWITCH"] -->
      each command line of a `bat` block runs through cmd in PLACE; each must exit with 0, and TEXT must appear
      in what they print. needs=msi: the all-users MSI is installed first; needs=nothing: nothing is.
      if-supported: the block waits (reported, not counted as run) while VarnokScan.exe lacks that switch.
      as=file: the block is a batch file, saved and run as a whole.
  <!-- doc-test: vbscript check=FILE -->
      a `vb` block is run by cscript with FILE (beside this script) appended, which prints "RESULT pass=N fail=0".
  <!-- doc-test: windows-only: REASON -->            the block is not run here (listed with its reason)
  <!-- doc-test: windows-only line N: REASON -->     line N of a run block is not run here
A block without a marker fails the test. Inline commands `cscript //nologo ...` run in the installed examples
folder, `reg query ...` and `VarnokScan.exe /?` in the prompt's and `cpp\\read-certificate.exe ...` in the zip's
examples, with the MSI installed; the manual registration table's `VarnokSrv.exe /...` in the unpacked zip, with
nothing installed. Those holding "..." are templates. A block or inline command that is the same as one that ran
and passed before (the two guides share many) is not run again, unless it installs or removes a package.

Usage: guide-test.py <packages folder> <examples folder> <guide.md>...
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
MARKER = re.compile(r"^<!-- doc-test: (.*?) -->\s*$")
FENCE = re.compile(r"^```(\w*)\s*$")
# Inline commands run where the guide says they are typed: (pattern, place, what is installed, text the output
# must hold). The registration switches are the manual registration table's rows, run in the unpacked zip.
INLINE = [(re.compile(r"`(cscript //nologo [^`]+)`"), "examples", "msi", "NrRejestracyjny: "),
          (re.compile(r"`(reg query [^`]+)`"), "prompt", "msi", ""),
          (re.compile(r"`(cpp\\read-certificate\.exe [^`]+)`"), "zip-examples", "msi", "NrRejestracyjny: "),
          (re.compile(r"`(VarnokScan\.exe /\?)`"), "prompt", "msi", "/fields"),
          (re.compile(r"^\| `(VarnokSrv\.exe /\w+)`"), "zip", "nothing", "")]


def parse_options(text):
    options = {}
    for m in re.finditer(r'([\w-]+)=("([^"]*)"|\S+)', text):
        options[m[1]] = m[3] if m[3] is not None else m[2]
    return options


class Block:
    def __init__(self, guide, line, language, lines, markers):
        self.guide, self.line, self.language, self.lines = guide, line, language, lines
        self.kind, self.reason, self.options, self.skipped_lines = None, None, {}, {}
        for marker in markers:
            m = re.match(r"windows-only line (\d+): (.+)$", marker)
            if m:
                self.skipped_lines[int(m[1])] = m[2]
            elif marker.startswith("windows-only: "):
                self.kind, self.reason = "windows-only", marker[len("windows-only: "):]
            elif marker.startswith("run "):
                self.kind, self.options = "run", parse_options(marker[4:])
            elif marker.startswith("vbscript "):
                self.kind, self.options = "vbscript", parse_options(marker[9:])
            else:
                raise SystemExit("%s:%d: unknown marker %r" % (guide, line, marker))

    def where(self):
        return "%s:%d" % (os.path.basename(self.guide), self.line)


def read_blocks(guide):
    blocks, markers, inline = [], [], []
    with open(guide, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        m = MARKER.match(lines[i])
        if m:
            markers.append(m[1])
            i += 1
            continue
        fence = FENCE.match(lines[i])
        if fence:
            end = i + 1
            while end < len(lines) and not lines[end].startswith("```"):
                end += 1
            blocks.append(Block(guide, i + 1, fence[1], lines[i + 1:end], markers))
            markers, i = [], end + 1
            continue
        if markers and lines[i].strip():
            raise SystemExit("%s:%d: a doc-test marker not followed by a code block" % (guide, i + 1))
        for pattern, place, needs, expect in INLINE:
            for command in pattern.findall(lines[i]):
                inline.append((guide, i + 1, command, place, needs, expect))
        i += 1
    return blocks, inline


class Prefix:
    """A clean Wine prefix with the packages in the user's Downloads and scans in Documents\\Skany."""

    def __init__(self, packages, examples, work):
        self.packages, self.examples, self.work = packages, examples, work
        # winemenubuilder off: Wine would mirror the Start menu into a home folder.
        self.env = dict(os.environ, WINEPREFIX=os.path.join(work, "wineprefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", LANG="pl_PL.UTF-8",
                        LC_ALL="pl_PL.UTF-8", HOME=work)
        self.env.pop("DISPLAY", None)
        self.idle = None

    def wine(self, *args, **kwargs):
        return subprocess.run([WINE_RUN] + list(args), env=self.env, stdin=subprocess.DEVNULL, **kwargs)

    def output_of(self, *args):
        """What a Windows program prints, through a file: a server it starts would hold a pipe open."""
        path = os.path.join(self.work, "output.txt")
        with open(path, "wb") as out:
            self.wine(*args, stdout=out, stderr=subprocess.STDOUT, timeout=300)
        with open(path, "rb") as f:
            return f.read().decode("cp852", "replace").replace("\r", "")

    def unix(self, windows_path):
        out = subprocess.run(["winepath", "-u", windows_path], env=self.env, capture_output=True, text=True)
        return out.stdout.strip()

    def start(self):
        subprocess.run([WINE_RUN, "wineboot", "-i"], env=dict(self.env, WINEARCH="win64"), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env)
        # The idle program of the build the packages come from.
        idle = os.path.join(os.path.dirname(os.path.abspath(self.packages)), "tests", "WineIdle.exe")
        self.idle = subprocess.Popen([WINE_RUN, idle], env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Wine's services keep the output of whichever program starts them: start them here, writing nowhere.
        self.wine("cmd", "/c", "exit", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wine("net", "start", "RpcSs", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        profile = self.output_of("cmd", "/c", "echo %USERPROFILE%").strip()
        self.profile = profile
        self.home = self.unix(profile)
        for folder in ("Downloads", "Documents"):
            path = os.path.join(self.home, folder)
            if os.path.islink(path):  # never the machine's own home folders
                os.unlink(path)
            os.makedirs(path, exist_ok=True)
        downloads = os.path.join(self.home, "Downloads")
        # The packages a user downloads (not the test kit).
        for name in os.listdir(self.packages):
            if re.fullmatch(r"VarnokSrv-[\d.]+(-user\.msi|\.msi|\.zip)", name):
                shutil.copy(os.path.join(self.packages, name), downloads)
        scans = os.path.join(self.home, "Documents", "Skany")
        os.makedirs(os.path.join(scans, "partia2"), exist_ok=True)
        scan = os.path.join(self.examples, "certificate-scan.jpg")
        shutil.copy(scan, os.path.join(scans, "dowod.jpg"))
        for name in ("skan1.jpg", "skan2.jpg"):
            shutil.copy(scan, os.path.join(scans, "partia2", name))
        zips = [n for n in os.listdir(downloads) if n.endswith(".zip")]
        self.version = re.search(r"VarnokSrv-([\d.]+)\.msi", " ".join(os.listdir(downloads)))[1]
        # The portable zip unpacked into Documents, as the guide says: a folder that stays where it is.
        documents = os.path.join(self.home, "Documents")
        for name in zips:
            subprocess.run(["cmake", "-E", "tar", "xf", os.path.join(downloads, name)], cwd=documents, check=True)

    def stop(self):
        if self.idle:
            self.idle.kill()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_for_no_server(self, seconds=15):
        """Until the server an earlier command started has left: Wine may hand a new client the class object of a
        server that is just revoking it, and the activation fails with E_FAIL (Windows starts a new server)."""
        prefix = ("WINEPREFIX=" + self.env["WINEPREFIX"]).encode()
        for _ in range(seconds * 10):
            running = False
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        if b"VarnokSrv.exe" not in f.read():
                            continue
                    with open("/proc/%s/environ" % pid, "rb") as f:
                        ours = prefix in f.read().split(b"\0")
                    with open("/proc/%s/stat" % pid) as f:
                        running |= ours and f.read().split(")")[-1].split()[0] != "Z"
                except OSError:
                    continue
            if not running:
                return
            time.sleep(0.1)
        raise RuntimeError("a VarnokSrv.exe of this prefix is still running")

    def installed(self):
        return os.path.exists(os.path.join(self.unix("C:\\Program Files (x86)\\VarnokSrv"), "VarnokSrv.exe"))

    def prompt_folder(self):
        """The folder the Start menu's prompt opens in, read from its link (found in the common or, as Wine puts
        an all-users package's entries, the user's Start menu)."""
        menus = [os.path.join(self.env["WINEPREFIX"], "drive_c", "ProgramData"),
                 os.path.join(self.home, "AppData", "Roaming")]
        for menu in menus:
            path = os.path.join(menu, "Microsoft", "Windows", "Start Menu", "Programs", "VarnokSrv",
                                "Wiersz polecenia VarnokScan.lnk")
            if os.path.exists(path):
                with open(path, "rb") as f:
                    data = f.read()
                # Its strings are UTF-16, at even or odd offsets.
                link = data.decode("utf-16-le", "replace") + data[1:].decode("utf-16-le", "replace")
                folder = "C:\\Program Files (x86)\\VarnokSrv"
                if folder + "\\" in link and "/k VarnokScan.exe /?" in link:
                    return folder
                raise RuntimeError("the Start menu's prompt does not open in " + folder)
        raise RuntimeError("no Start menu entry Wiersz polecenia VarnokScan")

    def place(self, name):
        places = {
            "downloads": self.profile + "\\Downloads",
            "documents": self.profile + "\\Documents",
            "zip": self.profile + "\\Documents\\VarnokSrv-" + self.version,
            "zip-examples": self.profile + "\\Documents\\VarnokSrv-" + self.version + "\\examples",
            "prompt": self.prompt_folder() if name == "prompt" else None,
            "examples": "C:\\Program Files (x86)\\VarnokSrv\\SDK\\examples",
            "cpp": "C:\\Program Files (x86)\\VarnokSrv\\SDK\\examples\\cpp",
        }
        return places[name]

    def msiexec(self, *args):
        msi = self.profile + "\\Downloads\\VarnokSrv-%s.msi" % self.version
        return self.wine("msiexec", args[0], msi, "/qn", *args[1:], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, timeout=300).returncode

    def ensure(self, needs):
        if needs == "msi" and not self.installed():
            if self.msiexec("/i") != 0:
                raise RuntimeError("the MSI did not install")
        elif needs == "nothing" and self.installed():
            if self.msiexec("/x") != 0:
                raise RuntimeError("the MSI did not uninstall")

    def run_command(self, place, command, as_file=False):
        """Runs one command line (or a whole batch file) through cmd in the folder; returns (exit code, output)."""
        script = os.path.join(self.work, "step.cmd")
        with open(script, "w", encoding="cp852", newline="\r\n") as f:
            if as_file:
                f.write('cd /d "%s"\n%s\n' % (place, command))
            else:
                f.write('@echo off\ncd /d "%s"\n%s\nexit /b %%errorlevel%%\n' % (place, command))
        output = os.path.join(self.work, "step.txt")
        with open(output, "wb") as out:
            code = self.wine("cmd", "/c", "Z:" + script.replace("/", "\\"), stdout=out, stderr=subprocess.STDOUT,
                             timeout=300).returncode
        with open(output, "rb") as f:
            return code, f.read().decode("cp852", "replace").replace("\r", "")

    def scan_tool_supports(self, switch):
        code, usage = self.run_command(self.place("prompt"), "VarnokScan.exe /?")
        return switch in usage


def run_block(prefix, block, report):
    """Returns the number of commands run, raising AssertionError with the reason on a failure."""
    options = block.options
    if block.kind == "vbscript":
        return run_vbscript(prefix, block)
    prefix.ensure(options.get("needs", "msi"))
    if "if-supported" in options and not prefix.scan_tool_supports(options["if-supported"]):
        report.append("waiting  %s: this build's VarnokScan.exe has no %s" % (block.where(), options["if-supported"]))
        return None
    place = prefix.place(options["in"])
    printed, count = "", 0
    if options.get("as") == "file":
        code, printed = prefix.run_command(place, "\n".join(block.lines), as_file=True)
        print("  %s> (batch file of %d lines)  (exit code %d)" % (options["in"], len(block.lines), code))
        if code != 0:
            raise AssertionError("%s: the batch file exited with %d:\n%s" % (block.where(), code, printed[-2000:]))
        count = 1
    for number, line in enumerate(block.lines if options.get("as") != "file" else [], 1):
        command = line.strip()
        if not command or command.lower().startswith(("rem ", "rem\t")) or command == "rem" or command.startswith("::"):
            continue
        if number in block.skipped_lines:
            report.append("windows  %s line %d: %s — %s" % (block.where(), number, command,
                                                           block.skipped_lines[number]))
            continue
        if command.startswith("g++ "):
            # mingw-w64's g++ on Windows; the cross compiler stands in for it, in the same folder.
            folder = prefix.unix(place)
            code = subprocess.run("i686-w64-mingw32-g++ " + command[4:], shell=True, cwd=folder).returncode
            built = os.path.join(folder, "read-certificate.exe")
            if code == 0 and not os.path.exists(built):
                code = -1
            if os.path.exists(built):  # not the package's file: the uninstall would leave the folder behind
                os.unlink(built)
            output = ""
        else:
            code, output = prefix.run_command(place, command)
        print("  %s> %s  (exit code %d)" % (options["in"], command, code))
        if code != 0:
            raise AssertionError("%s: `%s` exited with %d:\n%s" % (block.where(), command, code, output[-2000:]))
        printed += output
        count += 1
    if "expect" in options and options["expect"] not in printed:
        raise AssertionError("%s: the output lacks %r:\n%s" % (block.where(), options["expect"], printed[-2000:]))
    if count == 0:
        raise AssertionError("%s: marked to run, but holds no command" % block.where())
    return count


def run_vbscript(prefix, block):
    with open(os.path.join(HERE, block.options["check"]), encoding="utf-8") as f:
        check = f.read()
    script = os.path.join(prefix.work, "block.vbs")
    with open(script, "w", encoding="cp1250", errors="replace", newline="\r\n") as f:
        f.write("\n".join(block.lines) + "\n" + check)
    for language in ("pl_PL.UTF-8", "en_US.UTF-8"):
        env = dict(prefix.env, VARNOK_LANG=language)
        saved = prefix.env
        prefix.env = env
        try:
            out = prefix.output_of("C:\\windows\\syswow64\\cscript.exe", "//nologo", "Z:" + script.replace("/", "\\"))
        finally:
            prefix.env = saved
        print("  cscript (%s): %s" % (language, out.strip().replace("\n", " | ")))
        if not re.search(r"^RESULT pass=[1-9]\d* fail=0$", out, re.M):
            raise AssertionError("%s: the VBScript block fails under %s:\n%s" % (block.where(), language, out))
    return 1


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    packages, examples, guides = os.path.abspath(argv[1]), os.path.abspath(argv[2]), argv[3:]
    blocks, inline = [], []
    for guide in guides:
        b, i = read_blocks(guide)
        blocks += b
        inline += i
    unmarked = [b.where() for b in blocks if b.kind is None]
    if unmarked:
        print("FAIL blocks with no doc-test marker: " + ", ".join(unmarked))
        return 1

    work = tempfile.mkdtemp(prefix="varnok-guides.")
    prefix = Prefix(packages, examples, work)
    report, failures, ran_blocks, ran_commands = [], [], 0, 0
    # The guides give many of the same commands in both languages: what ran and passed once is not run again
    # (an install or removal is, as the blocks after it rely on its effect).
    passed_blocks, passed_inline, same = {}, {}, 0
    try:
        prefix.start()
        for block in blocks:
            if block.kind == "windows-only":
                report.append("windows  %s: %s" % (block.where(), block.reason))
                continue
            key = (block.kind, tuple(sorted(block.options.items())), tuple(block.lines),
                   tuple(sorted(block.skipped_lines.items())))
            if key in passed_blocks and not any("msiexec" in line.lower() for line in block.lines):
                print("block %s: the same as %s, which passed" % (block.where(), passed_blocks[key]))
                same += 1
                continue
            print("block %s (%s)" % (block.where(), block.kind))
            try:
                prefix.wait_for_no_server()
                count = run_block(prefix, block, report)
            except (AssertionError, RuntimeError, subprocess.TimeoutExpired) as e:
                print("FAIL " + str(e))
                failures.append(block.where())
                continue
            if count is not None:
                ran_blocks += 1
                ran_commands += count
                passed_blocks.setdefault(key, block.where())
        ran_inline = 0
        for guide, line, command, place, needs, expect in inline:
            where = "%s:%d" % (os.path.basename(guide), line)
            if "..." in command or "…" in command:
                report.append("template %s: `%s`" % (where, command))
                continue
            if (command, place, needs, expect) in passed_inline:
                print("inline %s: the same as %s, which passed" % (where, passed_inline[(command, place, needs, expect)]))
                same += 1
                continue
            prefix.ensure(needs)
            prefix.wait_for_no_server()
            code, output = prefix.run_command(prefix.place(place), command)
            print("inline %s: %s> %s  (exit code %d)" % (where, place, command, code))
            if code != 0 or expect not in output:
                print("FAIL %s:\n%s" % (where, output[-1500:]))
                failures.append(where)
            else:
                passed_inline.setdefault((command, place, needs, expect), where)
            ran_inline += 1
        prefix.ensure("nothing")
        leftover = [p for p in ("C:\\Program Files (x86)\\VarnokSrv",) if os.path.exists(prefix.unix(p))]
        code, _ = prefix.run_command(prefix.place("documents"), "reg query HKCR\\VarnokSrv.FileReader")
        if code == 0:
            leftover.append("the registration of VarnokSrv.FileReader")
        if leftover:
            print("FAIL left behind: " + ", ".join(leftover))
            failures.append("uninstall")
    finally:
        prefix.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("\n".join(report))
    print("RESULT guides: %d blocks run (%d commands), %d inline commands run, %d the same as one run before, "
          "%d not run here, failures=%d" % (ran_blocks, ran_commands, ran_inline, same, len(report), len(failures)))
    return 0 if ran_blocks > 0 and ran_commands > 0 and not failures else 1


if __name__ == "__main__":
    sys.stdout.reconfigure(line_buffering=True)
    sys.exit(main(sys.argv))
