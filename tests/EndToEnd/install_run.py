"""Runs the built installer under the build's Wine, as its launcher would, for the end-to-end tests
and the demo, and reads back what a run left: its trace log, the fake stage 2's record, the
prefix's folders and its list of renames pending for the next start.

The caller runs inside a network namespace with only loopback, where the prefix's wineserver runs
(tests/tools/run-ctest, tests/EndToEnd/run-demo). enter_mount_namespace() then gives this process
a mount namespace of its own with a hosts file over /etc/hosts, so that the service host names
lead to loopback and nowhere else: Wine resolves names in the calling process, by that file."""
import ctypes
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

LAUNCHER_VARIABLE = "HALVEX_SFL_PATH_DE4325B8_1378_47a6_AEC1_EF723BCE8EC4"
CERTIFICATES_FOLDER = r"C:\ProgramData\Halvex\Certificates\AutoUpdate\Manifest"
LOG_PATTERN = "HalvexVeskCloudInstaller_*.log"
COPY_PATTERN = "HalvexInstall_*.exe"
DEADLINE = 120  # seconds for one program run
# Variables that steer the fake stage 2 and the recording restart; never inherited by accident.
STEERING = ("HALVEX_FAKE_STAGE2_RECORD", "HALVEX_FAKE_STAGE2_MODE", "HALVEX_FAKE_STAGE2_EXIT",
            "HALVEX_FAKE_STAGE2_EXITED", "HALVEX_FAKE_STAGE2_ENVIRONMENT", "HALVEX_FAKE_STAGE2_WAIT_FOR",
            "HALVEX_RECORDED_RESTART", LAUNCHER_VARIABLE)
_MOUNTED = "HALVEX_E2E_HOSTS_MOUNTED"


def fail(message):
    sys.exit("end-to-end: " + message)


def only_loopback():
    with open("/proc/net/dev") as f:
        names = [line.split(":")[0].strip() for line in f.readlines()[2:]]
    return all(name == "lo" for name in names)


def enter_mount_namespace(hosts_text):
    """Re-runs this program in a mount namespace of its own (first call), or, there, puts a hosts
    file with hosts_text over /etc/hosts (second call). Ends the process when it cannot."""
    if not only_loopback():
        fail("network interfaces other than loopback are visible: run through tests/tools/run-ctest")
    if os.environ.get(_MOUNTED) != "1":
        os.environ[_MOUNTED] = "1"
        try:
            os.execvp("unshare", ["unshare", "-m", "--", sys.executable, *sys.argv])
        except OSError as error:
            fail("cannot start a mount namespace: %s" % error)
    hosts = tempfile.NamedTemporaryFile("w", prefix="halvex-e2e-hosts-", delete=False)
    hosts.write(hosts_text)
    hosts.close()
    mounted = subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], capture_output=True, text=True)
    # The mount holds the file; its name is no longer needed.
    os.unlink(hosts.name)
    if mounted.returncode != 0:
        fail("cannot mount the hosts file over /etc/hosts: " + mounted.stderr.strip())


def become_subreaper():
    """Orphaned descendants (a relaunched stage 1, its stage 2) become this process's children,
    so that a run can wait for them to end."""
    PR_SET_CHILD_SUBREAPER = 36
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        fail("prctl(PR_SET_CHILD_SUBREAPER) failed")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def _parent_of(pid):
    with open("/proc/%d/stat" % pid) as f:
        return int(f.read().rsplit(")", 1)[1].split()[1])


def _command_of(pid):
    """The command line, or for a process that has ended and not been reaped, its name."""
    with open("/proc/%d/cmdline" % pid, "rb") as f:
        command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
    if command:
        return command
    with open("/proc/%d/stat" % pid) as f:
        return "[" + f.read().split("(", 1)[1].rsplit(")", 1)[0] + "]"


def descendants():
    """The live processes below this one: pid -> command line."""
    parents = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                parents[int(name)] = _parent_of(int(name))
            except (OSError, ValueError, IndexError):
                pass
    found, frontier = {}, {os.getpid()}
    while frontier:
        frontier = {pid for pid, parent in parents.items() if parent in frontier and pid not in found}
        for pid in frontier:
            try:
                found[pid] = _command_of(pid)
            except OSError:
                pass
    return found


class Prefix:
    """The build's Wine prefix, seen from the host."""

    def __init__(self, path):
        self.path = path
        self.drive_c = os.path.join(path, "drive_c")
        # As tests/tools/wine-run picks the Wine. A 32-bit prefix is an x86 machine, where stage 2
        # goes into the native Program Files folder; on x64 it goes into the x86 one.
        architecture = os.environ.get("HALVEX_WINEARCH")
        if not architecture:
            try:
                with open(os.path.join(os.path.dirname(path), "wine-arch")) as f:
                    architecture = f.read().strip()
            except OSError:
                architecture = "win32"
        self.program_files = r"C:\Program Files (x86)" if architecture == "win64" else r"C:\Program Files"
        self.working_folder_path = self.program_files + r"\Halvex\CloudInstaller"
        self.maker_folder = self.unix(self.program_files + r"\Halvex")
        self.working_folder = self.unix(self.working_folder_path)
        self.program_data = self.unix(r"C:\ProgramData\Halvex")
        self.certificates = self.unix(CERTIFICATES_FOLDER)

    def unix(self, path):
        if path[:2].upper() == "Z:":
            return path[2:].replace("\\", "/")
        if path[:2].upper() == "C:":
            return os.path.join(self.drive_c, *[p for p in path[2:].split("\\") if p])
        raise ValueError("not a C: or Z: path: " + path)

    def windows(self, path):
        relative = os.path.relpath(path, self.drive_c)
        if relative.startswith(".."):
            return windows_path(path)
        return "C:\\" + relative.replace("/", "\\")

    def temp_folders(self):
        # Wine 8 puts a user's temporary folder at C:\users\NAME\Temp; later ones under AppData.
        folders = glob.glob(os.path.join(self.drive_c, "users", "*", "Temp"))
        folders += glob.glob(os.path.join(self.drive_c, "users", "*", "AppData", "Local", "Temp"))
        return [f for f in folders if os.path.isdir(f)]

    def files(self, pattern):
        """path -> size of the files matching pattern in the temporary folders."""
        found = {}
        for folder in self.temp_folders():
            for path in glob.glob(os.path.join(folder, pattern)):
                try:
                    found[path] = os.path.getsize(path)
                except OSError:
                    pass
        return found


def remove_tree(path):
    def writable(function, failed, _):
        os.chmod(failed, 0o700)
        function(failed)
    if os.path.lexists(path):
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path, onerror=writable)
        else:
            os.unlink(path)


class Run:
    """What one start of the installer left: its exit code, the trace-log text it added, the
    processes that ended below it (command line, exit code) and the program's own output."""

    def __init__(self, code, log, reaped, output):
        self.code = code
        self.log = log
        self.reaped = reaped
        self.output = output

    def lines(self, level=None):
        """The log's messages (after "LEVEL : "), of one level or all."""
        messages = []
        for line in self.log.splitlines():
            parts = line.split(" ", 1)
            if len(parts) < 2 or " : " not in parts[1]:
                continue
            word, message = parts[1].split(" : ", 1)
            if level is None or word == level:
                messages.append(message)
        return messages


class Harness:
    def __init__(self, wine_run, root_tool, pending_tool, prefix):
        self.wine_run = wine_run
        self.root_tool = root_tool
        self.pending_tool = pending_tool
        self.prefix = prefix

    def environment(self, extra):
        environment = {k: v for k, v in os.environ.items() if k not in STEERING}
        environment.update(extra)
        return environment

    def wine(self, *command, env=None):
        result = subprocess.run([self.wine_run, *command], stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=DEADLINE, env=self.environment(env or {}))
        return result.returncode, result.stdout.decode(errors="replace").replace("\r\n", "\n")

    def trust(self, certificate):
        code, _ = self.wine(self.root_tool, windows_path(certificate))
        if code != 0:
            fail("could not add the test authority to the Root store (%d)" % code)

    def distrust(self, certificate):
        """False when the authority could not be taken out of the Root store again."""
        return self.wine(self.root_tool, windows_path(certificate), "--remove")[0] == 0

    def pending_renames(self):
        """The (source, target) pairs of the list of renames for the next start."""
        code, output = self.wine(self.pending_tool, "list")
        if code != 0:
            fail("could not read the pending renames (%d)" % code)
        return [tuple(line.split("\t", 1)) for line in output.splitlines() if "\t" in line]

    def drop_pending_renames(self, sources):
        if sources and self.wine(self.pending_tool, "remove", *sources)[0] != 0:
            fail("could not remove pending renames")

    def start(self, program, arguments, launcher, env):
        """Starts program without waiting; launcher None leaves the launcher variable unset. Its
        output goes to a file: a pipe would stay open as long as any process that inherited it."""
        extra = dict(env)
        if launcher is not None:
            extra[LAUNCHER_VARIABLE] = launcher
        output = tempfile.TemporaryFile()
        process = subprocess.Popen([self.wine_run, program, *arguments], stdin=subprocess.DEVNULL, stdout=output,
                                   stderr=subprocess.STDOUT, env=self.environment(extra))
        process.output_file = output
        return process

    def finish(self, process, logs_before, descendants=True):
        """Waits for process and, unless told not to, for every installer or stage 2 below this
        process, then collects."""
        try:
            process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            fail("the installer did not end within %d seconds" % DEADLINE)
        reaped = self.wait_for_descendants() if descendants else []
        process.output_file.seek(0)
        output = process.output_file.read().decode(errors="replace")
        process.output_file.close()
        return Run(process.returncode, self.new_log_text(logs_before), reaped, output)

    def run(self, program, arguments, launcher, env=None, descendants=True):
        logs = self.prefix.files(LOG_PATTERN)
        return self.finish(self.start(program, arguments, launcher, env or {}), logs, descendants)

    def wait_for_descendants(self):
        """Waits until no stage 1 or stage 2 runs below this process; returns the (command line,
        exit code) of each that ended. Wine's own services, should a run start them, live on."""
        reaped, commands = [], {}
        end = time.monotonic() + DEADLINE
        while True:
            running = {pid: c for pid, c in descendants().items() if "HalvexInstall" in c}
            commands.update(running)
            while True:
                try:
                    pid, status = os.waitpid(-1, os.WNOHANG)
                except ChildProcessError:
                    break
                if pid == 0:
                    break
                if pid in commands:
                    reaped.append((commands[pid], os.waitstatus_to_exitcode(status)))
                running.pop(pid, None)
            if not running:
                return reaped
            if time.monotonic() > end:
                fail("processes still running after %d seconds: %s" % (DEADLINE, running))
            time.sleep(0.05)

    def new_log_text(self, before):
        text = ""
        for path, size in sorted(self.prefix.files(LOG_PATTERN).items()):
            start = before.get(path, 0)
            if size > start:
                with open(path, "rb") as f:
                    f.seek(start)
                    text += f.read().decode(errors="replace")
        return text


def read_record(path):
    """The fake stage 2's record: command line, current folder, show value, arguments."""
    with open(path, "rb") as f:
        fields = f.read().decode("utf-16-le").split("\0")
    return {"command_line": fields[0], "folder": fields[1], "show": fields[2], "arguments": fields[3:-1]}


def read_environment(path):
    """The fake stage 2's environment: name -> value (names as written, the hidden "=C:" ones too)."""
    with open(path, "rb") as f:
        entries = [e for e in f.read().decode("utf-16-le").split("\0") if "=" in e[1:]]
    return {e[:e.index("=", 1)]: e[e.index("=", 1) + 1:] for e in entries}
