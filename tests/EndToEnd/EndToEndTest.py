#!/usr/bin/env python3
"""End-to-end scenarios of a whole quiet install: the built installer runs under Wine, as its
launcher would start it, against the local services of local_services.py, downloads a signed
stage-2 archive whose stage 2 is the fake one, verifies it against the test root placed in the
certificates folder, and runs it. Each scenario checks the exit code, the trace log, the requests
the services saw, the working folder and what the fake stage 2 recorded.

usage: EndToEndTest.py --wine-run W --root-tool R --pending-tool P --installer I
                       --recording-installer J --fake-stage2 F --trust-fixtures T --stamp-tool S
                       SCENARIO | --demo

Run inside tests/tools/run-ctest's network namespace (ctest does); the driver gives itself a mount
namespace with the service hosts in /etc/hosts. Every scenario starts from, and leaves behind, a
prefix without the working folder, C:\\ProgramData\\Halvex, relaunch copies of its own, their
pending renames or the test authority in the Root store."""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from install_run import (CERTIFICATES_FOLDER, COPY_PATTERN, LOG_PATTERN, Harness,  # noqa: E402
                         Prefix, become_subreaper, enter_mount_namespace, read_environment, read_record,
                         remove_tree, windows_path)
from local_services import (ARCHIVE_PATH, CONFIG_PATH, CUSTOMER_TOKEN, DETAILS_PATH, DOWNLOAD_HOST,  # noqa: E402
                            ESCAPED, KELM_HOST, MANAGEMENT_HOST, MIRROR_HOST, QOR_HOST, STAGE2_FILE,
                            STAGE2_PROGRAM, Certificates, Services, config_document, customer_proxy,
                            hosts_file, package_tree, stage2_archive)

QUIET = ["--quiet", "--bypassownershipcheck", "--usecertificatesfolder"]
WINDOWED = ["--bypassownershipcheck", "--usecertificatesfolder"]
# The window at 96 DPI: progress page, error page.
WINDOW_WIDTH, WINDOW_HEIGHT, ERROR_HEIGHT = 400, 180, 275
ROOT_NAME = "HalvexEndToEndRoot"
FATAL = "Exception: Stage 2 fatal error"


class Failed(Exception):
    pass


def relaunched(run):
    """(command, exit code) of the relaunch copies that ended below a run. A process reaped after
    it ended shows only its name, cut to 15 characters: "HalvexInstall_2" for a copy,
    "HalvexInstall_S" for stage 2."""
    return [(c, code) for c, code in run.reaped
            if "HalvexInstall_" in c and STAGE2_PROGRAM not in c and not c.startswith("[HalvexInstall_S")]


class Scenario:
    """One scenario's world: the services, the fake stage 2's files, the prefix's state."""

    def __init__(self, args, folder):
        self.args = args
        self.folder = folder
        self.prefix = Prefix(os.environ["WINEPREFIX"])
        self.harness = Harness(args.wine_run, args.root_tool, args.pending_tool, self.prefix)
        self.pki = os.path.join(args.trust_fixtures, "pki")
        with open(args.fake_stage2, "rb") as f:
            self.stage2 = f.read()
        self.certificates = Certificates(self._folder("tls"))
        self.services = Services(self.certificates)
        self.record = os.path.join(folder, "stage2-record.bin")
        self.environment_record = os.path.join(folder, "stage2-environment.bin")
        self.copies_before = set(self.prefix.files(COPY_PATTERN))
        self.logs_before = self.prefix.files(LOG_PATTERN)
        self.runs = []
        self.failures = []

    def _folder(self, name):
        path = os.path.join(self.folder, name)
        os.makedirs(path, exist_ok=True)
        return path

    # ---- the world before a run

    def serve(self, *plan, host=DOWNLOAD_HOST):
        """The archive answers in turn: a fault name (see local_services.FAULTS) or a status."""
        self.services.archive_host = host
        self.services.archive_plan = [(p, b"not found") if isinstance(p, int) else (200, self.archive(p))
                                      for p in plan]

    def archive(self, fault="good"):
        return stage2_archive(self.pki, self.stage2, fault)

    def plant_certificates(self):
        os.makedirs(self.prefix.certificates, exist_ok=True)
        shutil.copyfile(os.path.join(self.pki, "root.crt"), os.path.join(self.prefix.certificates, ROOT_NAME + ".crt"))
        shutil.copyfile(os.path.join(self.pki, "root.crl"), os.path.join(self.prefix.certificates, ROOT_NAME + ".crl"))

    def plant_verified_tree(self):
        """What a restart leaves in the working folder: the verified tree, the unpacking folder
        it was linked from, the resumable copy and the resume file."""
        for base in ("", "extract_cache"):
            for relative, data in package_tree(self.pki, self.stage2):
                path = os.path.join(self.prefix.working_folder, base, *relative.split("/"))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(data)
        shutil.copyfile(self.args.installer, os.path.join(self.prefix.working_folder, "HalvexInstall.exe"))
        with open(os.path.join(self.prefix.working_folder, "resume.json"), "w") as f:
            f.write("{}\n")

    def stamped(self, *settings):
        """A copy of the installer with settings stamped into it."""
        program = os.path.join(self._folder("stamped"), "HalvexInstall.exe")
        subprocess.run([sys.executable, self.args.stamp_tool, self.args.installer, *settings, "--output", program],
                       check=True, capture_output=True)
        return program

    def stage2_env(self, **steering):
        env = {"HALVEX_FAKE_STAGE2_RECORD": windows_path(self.record),
               "HALVEX_FAKE_STAGE2_ENVIRONMENT": windows_path(self.environment_record)}
        env.update({"HALVEX_FAKE_STAGE2_" + k.upper(): v for k, v in steering.items()})
        return env

    # ---- runs

    def install(self, program=None, arguments=QUIET, launcher="default", env=None, descendants=True):
        program = program or self.args.installer
        if launcher == "default":
            launcher = self.prefix.windows(program)
        run = self.harness.run(program, arguments, launcher, env if env is not None else self.stage2_env(),
                               descendants)
        self.runs.append(run)
        return run

    def start(self, program=None, arguments=QUIET, env=None):
        program = program or self.args.installer
        logs = self.prefix.files(LOG_PATTERN)
        return self.harness.start(program, arguments, self.prefix.windows(program), env or self.stage2_env()), logs

    def finish(self, started, descendants=True):
        run = self.harness.finish(*started, descendants=descendants)
        self.runs.append(run)
        return run

    # ---- what the world holds afterwards

    def requests(self, host=None, path=None):
        return [r for r in self.services.seen()
                if (host is None or r.host == host) and (path is None or r.path.startswith(path))]

    def archive_requests(self):
        return [r for r in self.services.seen() if r.path.startswith(ARCHIVE_PATH)]

    def reports(self):
        return [r.path[len(CONFIG_PATH):] for r in self.requests(KELM_HOST, CONFIG_PATH + "?")]

    def stage2_record(self):
        if not os.path.exists(self.record):
            raise Failed("stage 2 did not run")
        return read_record(self.record)

    def new_copies(self):
        return sorted(set(self.prefix.files(COPY_PATTERN)) - self.copies_before)

    # ---- checks

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def check_log(self, run, text, level=None):
        return self.check(any(text in line for line in run.lines(level)),
                          "the trace log has no %sline with %r" % (level + " " if level else "", text))

    def check_exit(self, run, code):
        self.check(run.code == code, "exit code %s, expected %d" % (run.code, code))

    def check_success(self, run):
        self.check_exit(run, 0)
        self.check(not run.lines("ERROR"), "ERROR lines in a successful run: %s" % run.lines("ERROR"))
        self.check(not os.path.exists(self.prefix.working_folder), "the working folder is still there")
        reports = self.reports()
        self.check(len(reports) == 1 and re.fullmatch(r"\?stage2downloadTime=\d+", reports[0]),
                   "reports %s, expected one download time" % reports)

    def check_failure(self, run, kind, downloaded=False):
        """A quiet run that failed with kind: exit code 1, the fatal line, one failure report, and
        the download time's report when the failure came after the download. Reports travel on
        threads of their own, so their order is not checked."""
        self.check_exit(run, 1)
        self.check_log(run, FATAL, "ERROR")
        reports = sorted(self.reports())
        failure = "?stage1Failure=%s&attempt=1" % kind
        timed = [r for r in reports if re.fullmatch(r"\?stage2downloadTime=\d+", r)]
        self.check(reports == sorted([failure] + timed) and len(timed) == (1 if downloaded else 0),
                   "reports %s, expected %s%s" % (reports, failure, " and a download time" if downloaded else ""))

    def check_no_stage2(self):
        self.check(not os.path.exists(self.record), "stage 2 ran")

    def check_untouched_network(self):
        seen = self.services.seen()
        self.check(not seen, "the services saw requests: %s" % [r.describe() for r in seen])

    def check_stage2_started(self, *arguments):
        """Stage 2 ran from the working folder with these among its arguments; returns its record."""
        record = self.stage2_record()
        working_folder = self.prefix.working_folder_path
        self.check(record["command_line"].startswith('"%s\\%s" ' % (working_folder, STAGE2_PROGRAM)),
                   "stage 2's command line: %r" % record["command_line"])
        self.check(record["folder"].rstrip("\\").lower() == working_folder.lower(),
                   "stage 2's current folder: %r" % record["folder"])
        for argument in arguments:
            self.check(argument in record["arguments"][1:], "stage 2 lacks %r: %s" % (argument, record["arguments"]))
        self.check(any(a.startswith("--pipewritehandle=") for a in record["arguments"]), "no --pipewritehandle")
        return record

    # ---- clean-up

    def clean(self):
        for path in (self.prefix.maker_folder, self.prefix.program_data,
                     os.path.join(self.prefix.unix(self.prefix.program_files), ESCAPED),
                     os.path.join(self.prefix.drive_c, ESCAPED)):
            remove_tree(path)
        copies = self.new_copies()
        if copies:
            self.harness.drop_pending_renames(["\\??\\" + self.prefix.windows(c) for c in copies])
            for copy in copies:
                remove_tree(copy)

    def forget_logs(self):
        for path in set(self.prefix.files(LOG_PATTERN)) - set(self.logs_before):
            remove_tree(path)

    def explain(self):
        lines = ["requests the services saw:"] + ["  " + r.describe() for r in self.services.seen()]
        if self.services.handshake_failures:
            lines += ["refused handshakes: %s" % self.services.handshake_failures]
        for number, run in enumerate(self.runs, 1):
            lines += ["run %d: exit code %s; processes below it: %s" % (number, run.code, run.reaped)]
            if run.output.strip():
                lines += ["  output: " + run.output.strip()]
            lines += ["  " + line for line in run.log.splitlines()]
        if os.path.exists(self.record):
            lines += ["stage 2 record: %s" % read_record(self.record)]
        return "\n".join(lines)


SCENARIOS = {}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


@scenario
def UnstampedSuccess(s):
    s.serve("good")
    run = s.install()
    s.check_success(run)
    s.check_log(run, "Unstamped install, fetching stage2 information from KELM", "INFO")
    config = s.requests(KELM_HOST, CONFIG_PATH)
    s.check(len(config) == 2 and config[0].path == CONFIG_PATH and config[0].method == "GET",
            "Kelm requests: %s" % [r.describe() for r in config])
    s.check(config[0].headers.get("User-Agent") == "Halvex Vesk Installer/Win",
            "Kelm user agent %r" % config[0].headers.get("User-Agent"))
    archive = s.archive_requests()
    if s.check(len(archive) == 1, "%d archive requests" % len(archive)):
        s.check(archive[0].host == DOWNLOAD_HOST and archive[0].path == ARCHIVE_PATH + STAGE2_FILE,
                "archive request %s" % archive[0].describe())
        s.check(archive[0].headers.get("Accept") == "application/gzip", "Accept %r" % archive[0].headers.get("Accept"))
        s.check(archive[0].headers.get("User-Agent", "").startswith("Halvex Cloud Installer/"),
                "download user agent %r" % archive[0].headers.get("User-Agent"))
    record = s.check_stage2_started("--mgmtserver=", "--products=", "--customertoken=", "--quiet",
                                    "--bypassownershipcheck", "--usecertificatesfolder")
    logs = [a[len("--logfile="):] for a in record["arguments"] if a.startswith("--logfile=")]
    s.check(len(logs) == 1 and os.path.isfile(s.prefix.unix(logs[0])), "stage 2's --logfile: %s" % logs)


@scenario
def StampedSuccess(s):
    s.serve("good", host=MIRROR_HOST)
    program = s.stamped("CUSTOMER_TOKEN=" + CUSTOMER_TOKEN, "PRODUCTS=vesk,edr", "EP_INSTALLER_SERVER=" + MANAGEMENT_HOST)
    run = s.install(program)
    s.check_success(run)
    s.check_log(run, "Stamped install, fetching stage2 information from corvale", "INFO")
    details = s.requests(MANAGEMENT_HOST)
    if s.check(len(details) == 1, "management API requests: %s" % [r.describe() for r in details]):
        s.check(details[0].method == "POST" and details[0].path == DETAILS_PATH + CUSTOMER_TOKEN,
                "details request %s" % details[0].describe())
        s.check(details[0].headers.get("Content-Type") == "application/json; charset=utf-8",
                "details Content-Type %r" % details[0].headers.get("Content-Type"))
        s.check(json.loads(details[0].body) == {"stage1_version": "1.20.627.0"}, "details body %r" % details[0].body)
    archive = s.archive_requests()
    s.check(len(archive) == 1 and archive[0].host == MIRROR_HOST,
            "the archive came from %s, not the reply's host" % [r.describe() for r in archive])
    s.check_stage2_started("--mgmtserver=" + QOR_HOST, "--products=vesk,edr", "--customertoken=" + CUSTOMER_TOKEN)


@scenario
def RetiredByConfiguration(s):
    s.serve("good")
    s.services.config = config_document(minimum="99.0.0.0")
    # A failure before the download must leave the working folder as it was.
    os.makedirs(s.prefix.working_folder)
    keep = os.path.join(s.prefix.working_folder, "keep.txt")
    open(keep, "w").close()
    run = s.install()
    s.check_failure(run, "expired_failure")
    s.check_log(run, "Failed to download and run stage 2: Retired stage 1 via KELM.", "ERROR")
    s.check(not s.archive_requests(), "an archive was fetched")
    s.check(os.path.exists(keep), "the working folder was touched")
    s.check_no_stage2()


@scenario
def ExpiredArchive(s):
    s.serve(404)
    run = s.install()
    s.check_failure(run, "expired_failure")
    s.check(len(s.archive_requests()) == 5, "%d archive requests, expected 5" % len(s.archive_requests()))
    for attempt in range(1, 6):
        s.check_log(run, "Failed to download and extract stage 2 on attempt %d: 404 error indicating potentially "
                    "expired stage 1" % attempt, "ERROR")
    s.check_no_stage2()
    s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")


@scenario
def NotFoundThenSuccess(s):
    s.serve(404, "good")
    run = s.install()
    s.check_exit(run, 0)
    s.check(len(s.archive_requests()) == 2, "%d archive requests, expected 2" % len(s.archive_requests()))
    s.check(run.lines("ERROR") == ["Failed to download and extract stage 2 on attempt 1: 404 error indicating "
                                   "potentially expired stage 1"], "ERROR lines: %s" % run.lines("ERROR"))
    reports = s.reports()
    s.check(len(reports) == 1 and reports[0].startswith("?stage2downloadTime="), "reports %s" % reports)
    s.check_stage2_started()


# A faulty archive: every try fails the same way, stage 2 never runs.
ARCHIVE_FAULTS = {
    "CorruptArchive": ("corrupt", "extract_failure", "Extraction failure."),
    "HostileArchive": ("hostile", "extract_failure", "Unsafe entry name."),
    "UnlistedFile": ("unlisted", "extra_file_in_package", "File missing from manifest: "),
    "ChangedFile": ("changed", "manifest_error", "Invalid file "),
    "SmuggledEntry": ("smuggled", "manifest_error", "Manifest file parse error"),
    "BadSigner": ("badsigner", "manifest_error", "Error verifying file "),
}


def faulty_archive(fault, kind, text):
    def run_scenario(s):
        s.serve(fault)
        run = s.install()
        s.check_failure(run, kind)
        s.check_log(run, text, "ERROR")
        s.check(len(s.archive_requests()) == 5, "%d archive requests, expected 5" % len(s.archive_requests()))
        s.check_no_stage2()
        s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")
        for climbed in (os.path.join(s.prefix.unix(s.prefix.program_files), ESCAPED),
                        os.path.join(s.prefix.maker_folder, ESCAPED)):
            s.check(not os.path.exists(climbed), "an entry escaped to %s" % climbed)
    return run_scenario


for _name, _fault in ARCHIVE_FAULTS.items():
    SCENARIOS[_name] = faulty_archive(*_fault)


@scenario
def Stage2FailureCode(s):
    s.serve("good")
    run = s.install(env=s.stage2_env(exit="7"))
    s.check_failure(run, "unknown", downloaded=True)
    s.check_log(run, "Setup program failed with code: 7", "ERROR")
    s.check_stage2_started()
    s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")


@scenario
def Stage2NoAnswer(s):
    s.serve("good")
    run = s.install(env=s.stage2_env(mode="nowrite"))
    s.check_failure(run, "unknown", downloaded=True)
    s.check_log(run, "ReadFile failed: 109", "ERROR")
    s.check_stage2_started()
    s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")


@scenario
def Stage2Restart(s):
    s.serve("good")
    marker = os.path.join(s.folder, "restart.txt")
    env = s.stage2_env(mode="restart")
    env["HALVEX_RECORDED_RESTART"] = windows_path(marker)
    run = s.install(s.args.recording_installer, env=env)
    s.check_exit(run, 0)
    s.check(os.path.exists(marker) and open(marker).read() == "restart\n", "restart requests: %r"
            % (open(marker).read() if os.path.exists(marker) else None))
    s.check_log(run, "Restarting machine", "INFO")
    s.check_log(run, "Doing restart - not cleaning up extraction directory", "INFO")
    s.check_stage2_started()
    for kept in (STAGE2_PROGRAM, "manifest.dat", "data/readme.txt", "HalvexInstall.exe", "extract_cache/manifest.dat"):
        s.check(os.path.isfile(os.path.join(s.prefix.working_folder, kept)), "the restart did not keep " + kept)


@scenario
def ResumeAfterRestart(s):
    s.serve("good")
    s.plant_verified_tree()
    resumable = os.path.join(s.prefix.working_folder, "HalvexInstall.exe")
    run = s.install(resumable, launcher=s.prefix.working_folder_path + "\\HalvexInstall.exe")
    s.check_exit(run, 0)
    s.check_log(run, "Clone created, exiting this", "INFO")
    copies = s.new_copies()
    s.check(len(copies) == 1, "relaunch copies: %s" % copies)
    clones = [code for _, code in relaunched(run)]
    s.check(clones == [0], "the relaunched copy's exit codes: %s (all: %s)" % (clones, run.reaped))
    s.check_log(run, "Resume config detected. Attempting to resume after restart", "INFO")
    s.check(not s.archive_requests(), "the resumed run downloaded: %s" % [r.describe() for r in s.archive_requests()])
    s.check(not [line for line in run.lines("ERROR")], "ERROR lines: %s" % run.lines("ERROR"))
    s.check_stage2_started()
    if copies:
        pending = [(a.lower(), b) for a, b in s.harness.pending_renames()]
        s.check(("\\??\\" + s.prefix.windows(copies[0]).lower(), "") in pending,
                "the copy is not marked for delete at reboot: %s" % pending)
    s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")


@scenario
def RelaunchFromWorkingFolder(s):
    s.serve("good")
    os.makedirs(s.prefix.working_folder)
    resumable = os.path.join(s.prefix.working_folder, "HalvexInstall.exe")
    shutil.copyfile(s.args.installer, resumable)
    pending_before = s.harness.pending_renames()
    run = s.install(resumable, launcher=s.prefix.working_folder_path + "\\HalvexInstall.exe")
    s.check_exit(run, 0)
    s.check(run.lines().count("Clone created, exiting this") == 1, "not one clone: %s" % run.lines())
    copies = s.new_copies()
    if s.check(len(copies) == 1, "relaunch copies: %s" % copies):
        copy = s.prefix.windows(copies[0])
        s.check(re.fullmatch(r"HalvexInstall_\d{8}_\d{6}\.exe", os.path.basename(copies[0])) is not None,
                "the copy's name: " + copies[0])
        clones = relaunched(run)
        s.check([code for _, code in clones] == [0], "the copy's runs: %s" % run.reaped)
        s.check(all(c.lower().startswith(copy.lower()) or c.startswith("[") for c, _ in clones),
                "the copy ran as %s" % clones)
        # Stage 2 inherits the copy's environment: the launcher variable must name the copy itself.
        if s.check(os.path.exists(s.environment_record), "stage 2 did not run"):
            launcher = read_environment(s.environment_record).get("HALVEX_SFL_PATH_DE4325B8_1378_47a6_AEC1_EF723BCE8EC4")
            s.check(launcher is not None and launcher.lower() == copy.lower(), "the copy's launcher variable %r" % launcher)
    s.check(s.harness.pending_renames() == pending_before, "the relaunch marked files for delete at reboot")
    s.check(len(s.archive_requests()) == 1, "%d archive requests" % len(s.archive_requests()))
    s.check_stage2_started()
    s.check(not os.path.exists(s.prefix.working_folder), "the working folder is still there")


def wait_for_file(path, process, limit=120):
    """Waits until path exists; False when process ended first or the limit passed."""
    end = time.monotonic() + limit
    while not os.path.exists(path):
        if process.poll() is not None or time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


@scenario
def SecondInstance(s):
    s.serve("good")
    release = os.path.join(s.folder, "release")
    first = s.start(env=s.stage2_env(wait_for=windows_path(release)))
    try:
        # Stage 2 writes its record first: from then on the first instance holds the event.
        if not wait_for_file(s.record, first[0]):
            raise Failed("the first instance never reached stage 2")
        seen = len(s.services.seen())
        # The first instance's processes are still below this one: wait for the second alone.
        second = s.install(env={}, descendants=False)
        s.check_exit(second, 0)
        s.check_log(second, "Stage 1 already running", "ERROR")
        s.check(len(s.services.seen()) == seen, "the second instance sent requests: %s"
                % [r.describe() for r in s.services.seen()[seen:]])
    finally:
        open(release, "w").close()
    run = s.finish(first)
    s.check_exit(run, 0)
    s.check_stage2_started()
    s.check(len(s.archive_requests()) == 1, "%d archive requests" % len(s.archive_requests()))


@scenario
def UntrustedDownloadServer(s):
    s.serve("good")
    s.services.untrusted = {DOWNLOAD_HOST}
    run = s.install()
    s.check_failure(run, "download_failure")
    s.check(not s.archive_requests(), "the untrusted server got a request")
    asked = s.services.connections + [name for name, _ in s.services.handshake_failures]
    s.check(asked.count(DOWNLOAD_HOST) >= 5, "fewer than five handshakes with %s: %s" % (DOWNLOAD_HOST, asked))
    for attempt in range(1, 6):
        s.check_log(run, "Failed to download and extract stage 2 on attempt %d: Failed to download stage-2 archive"
                    % attempt, "ERROR")
    s.check(len(s.requests(KELM_HOST, CONFIG_PATH)) == 2, "the Kelm service was not used as usual")
    s.check_no_stage2()


@scenario
def CustomerProxy(s):
    s.serve("good")
    with customer_proxy(s.services) as proxy:
        address = "127.0.0.1:%d" % proxy.port
        run = s.install(arguments=QUIET + ["--proxyaddress=" + address])
    s.check_success(run)
    archive = s.archive_requests()
    s.check(len(archive) == 1 and archive[0].via_proxy, "the archive did not come through the proxy: %s"
            % [r.describe() for r in archive])
    direct = [r.describe() for r in s.services.seen() if not r.via_proxy]
    s.check(not direct, "requests around the proxy: %s" % direct)
    s.check_stage2_started("--proxyaddress=" + address)


@scenario
def PlantedProgramData(s):
    # The folder already holds the certificates folder; any existing one counts as planted here.
    s.check(os.path.isdir(s.prefix.program_data), "no program-data folder was planted")
    run = s.install(arguments=["--quiet", "--usecertificatesfolder"])
    s.check_exit(run, 1)
    s.check(not run.log, "a trace log was written: %s" % run.log)
    s.check_untouched_network()
    s.check_no_stage2()


@scenario
def BadStamp(s):
    program = s.stamped("CUSTOMER_TOKEN=" + CUSTOMER_TOKEN, "PRODUCTS=vesk", "EP_INSTALLER_SERVER=manage.example.org")
    run = s.install(program)
    s.check_exit(run, 1)
    s.check_log(run, "Exception: Server name doesn't have an expected value", "ERROR")
    s.check_untouched_network()
    s.check_no_stage2()


@scenario
def MissingLauncherVariable(s):
    run = s.install(launcher=None)
    s.check_exit(run, 1)
    s.check(run.lines("ERROR") == ["Exception: Failed to get SafeLauncher path"], "ERROR lines: %s" % run.lines("ERROR"))
    s.check_untouched_network()
    s.check_no_stage2()


def window_state(s):
    """None without the installer's window, else (visible, width, height, left, top) in pixels."""
    code, output = s.harness.wine(s.args.window_probe, "state")
    if code != 0:
        raise Failed("the window probe failed (%d): %s" % (code, output))
    words = output.split()
    if not words or words[0] == "none":
        return None
    return tuple(int(w) for w in words[:5])


def wait_for_window(s, process, wanted, what, limit=120):
    """Polls the window until wanted(state) holds; the state, or Failed."""
    end = time.monotonic() + limit
    while True:
        state = window_state(s)
        if wanted(state):
            return state
        if process.poll() is not None:
            raise Failed("the installer ended (%s) before %s; window: %s" % (process.returncode, what, state))
        if time.monotonic() > end:
            raise Failed("no %s within %d s; window: %s" % (what, limit, state))
        time.sleep(0.2)


def screenshot(s, name, state):
    """The window as the screen shows it, kept beside the build."""
    os.makedirs(s.args.screenshots, exist_ok=True)
    path = os.path.join(s.args.screenshots, name + ".png")
    _, width, height, left, top = state
    result = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, left, top),
                             "+repage", path], capture_output=True, timeout=60)
    s.check(result.returncode == 0, "no screenshot %s: %s" % (name, result.stderr.decode(errors="replace")))
    return path


def windowed_install(s, shot):
    """A good install with the window: the archive is held until the window has been seen (and
    photographed as shot) on the progress page. The run and the window's state then."""
    s.serve("good")
    s.services.archive_gate = threading.Event()
    started = s.start(arguments=WINDOWED)
    try:
        if not s.services.archive_asked.wait(120):
            raise Failed("the archive was never asked for")
        state = wait_for_window(s, started[0], lambda w: w is not None and w[0] == 1, "visible window")
        screenshot(s, shot, state)
    finally:
        s.services.archive_gate.set()
    return s.finish(started), state


@scenario
def WindowSuccess(s):
    """Without --quiet: the window shows the progress page while the archive downloads and closes
    by itself on success; stage 2 runs and the exit code is 0."""
    run, state = windowed_install(s, "progress-page")
    s.check(state[1:3] == (WINDOW_WIDTH, WINDOW_HEIGHT), "window size %s while downloading" % (state[1:3],))
    s.check_success(run)
    s.check_stage2_started()
    s.check(window_state(s) is None, "the window is still there")


@scenario
def WindowFailureCancelled(s):
    """Without --quiet, a failed download shows the error page (the window grows to its height);
    Cancel closes it and the run ends with 0, without stage 2."""
    s.serve("corrupt")
    started = s.start(arguments=WINDOWED)
    state = wait_for_window(s, started[0], lambda w: w is not None and w[0] == 1 and w[2] == ERROR_HEIGHT,
                            "error page")
    screenshot(s, "error-page", state)
    # Try Again from x 24 and Cancel 12 to its right, each at least 128 wide; their faces from
    # y 64 + 129 to 64 + 169.
    code, output = s.harness.wine(s.args.window_probe, "click", "228", "213")
    s.check(code == 0, "the click failed: %s" % output)
    run = s.finish(started)
    s.check_exit(run, 0)
    s.check_no_stage2()
    # One attempt (its five tries): Cancel started no other.
    s.check(len(s.archive_requests()) == 5, "%d archive requests" % len(s.archive_requests()))
    s.check(window_state(s) is None, "the window is still there")


def demo(s):
    """A whole install with its window, told as it goes."""
    print("== local services on 127.0.0.1:443 for %s, %s and the others in /etc/hosts of this namespace"
          % (KELM_HOST, DOWNLOAD_HOST))
    print("== stage-2 archive %s: a fake stage 2 and its manifest, signed under the test root in %s"
          % (STAGE2_FILE, CERTIFICATES_FOLDER))
    print("== running: HalvexInstall.exe %s (display %s)" % (" ".join(WINDOWED), os.environ.get("DISPLAY")))
    run, state = windowed_install(s, "demo-progress-page")
    print("== the window, while the archive was held: %d x %d pixels at (%d, %d), %s; screenshot %s"
          % (state[1], state[2], state[3], state[4], "visible" if state[0] else "hidden",
             os.path.join(s.args.screenshots, "demo-progress-page.png")))
    print("== after the run the window is %s" % ("gone" if window_state(s) is None else "still there"))
    print("== requests the services saw:")
    for request in s.services.seen():
        print("   " + request.describe())
    lines = run.log.splitlines()
    start = next((i for i, line in enumerate(lines) if "Starting stage 2 download" in line), 0)
    print("== trace log, from the attempt on:")
    for line in lines[start:]:
        print("   " + line)
    print("== exit code: %s" % run.code)
    if os.path.exists(s.record):
        record = read_record(s.record)
        print("== the fake stage 2 was started in %s as:" % record["folder"])
        print("   " + record["command_line"])
    else:
        print("== stage 2 did not run")
    return run.code == 0 and os.path.exists(s.record)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("wine-run", "root-tool", "pending-tool", "installer", "recording-installer", "fake-stage2",
                   "trust-fixtures", "stamp-tool", "window-probe", "screenshots"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--demo", action="store_true", help="run one install and tell what happened")
    parser.add_argument("scenario", nargs="?", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    if not args.demo and not args.scenario:
        parser.error("name a scenario or --demo")

    enter_mount_namespace(hosts_file())
    become_subreaper()
    started = time.monotonic()
    phases = []

    def phase(name):
        phases.append((name, time.monotonic()))

    with tempfile.TemporaryDirectory(prefix="halvex-e2e-") as folder:
        s = Scenario(args, folder)
        s.clean()
        phase("setup")
        s.harness.trust(s.certificates.root)
        phase("trust")
        problem = None
        try:
            with s.services:
                s.plant_certificates()
                if args.demo:
                    ok = demo(s)
                else:
                    SCENARIOS[args.scenario](s)
                    ok = not s.failures
        except Failed as error:
            problem, ok = str(error), False
        finally:
            phase("scenario")
            if not s.harness.distrust(s.certificates.root):
                s.failures.append("the test authority could not be removed from the Root store")
                ok = False
            s.clean()
            phase("clean-up")
        if args.demo:
            return 0 if ok else 1
        if ok:
            s.forget_logs()
            steps, last = [], started
            for name, at in phases:
                steps.append("%s %.1f s" % (name, at - last))
                last = at
            print("%s passed in %.1f s (%s)" % (args.scenario, time.monotonic() - started, ", ".join(steps)))
            return 0
        print("%s FAILED:" % args.scenario)
        for failure in s.failures + ([problem] if problem else []):
            print("  - " + failure)
        print(s.explain())
        return 1


if __name__ == "__main__":
    sys.exit(main())
