"""Windows programs run from the host under the build's fenced Wine prefix:
the environment of tools/wine.env, one persistent wineserver, paths as the
programs see them (the build folder is drive T: and nothing else of the
host), and what they printed. The bench and the reliability driver start
every Windows program through this."""
import os
import platform
import shutil
import subprocess
import tempfile

ENVIRONMENT_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine.env")
BUILD_DRIVE = "T:"
# The launcher's own variables: inherited from the host, they would change
# the role decision of the first launcher started.
LAUNCHER_VARIABLES = ("TARVEK_ONEFILE_PARENT", "TARVEK_ONEFILE_START", "TARVEK_ONEFILE_TIME_US",
                      "TARVEK_ONEFILE_RANDOM")


def settings():
    """The KEY=VALUE lines of tools/wine.env, as they stand."""
    values = {}
    with open(ENVIRONMENT_FILE, encoding="utf-8") as f:
        for line in f.read().splitlines():
            key, equals, value = line.partition("=")
            if equals and not key.startswith("#"):
                values[key] = value
    return values


def program(name):
    """Debian's Wine program itself rather than the wrapper on the PATH."""
    path = os.path.join("/usr/lib/wine", name)
    return path if os.access(path, os.X_OK) else shutil.which(name) or name


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


class Wine:
    def __init__(self, build, scratch, prefix=None, wine64=None, drive=BUILD_DRIVE):
        """build: the build folder; scratch: a folder below it for the
        programs' output; prefix: the Wine prefix, by default the one
        tools/wine.env names in the build folder."""
        self.build = os.path.realpath(build)
        self.scratch = scratch
        self.drive = drive
        self.wine64 = wine64 or program("wine64")
        self.wineserver = program("wineserver")
        self.env = {k: v for k, v in os.environ.items() if k not in LAUNCHER_VARIABLES}
        self.env.update(settings())
        self.env["WINEPREFIX"] = prefix or os.path.join(self.build, self.env["WINEPREFIX"])
        self.prefix = self.env["WINEPREFIX"]

    def windows_path(self, path):
        """The path as Windows programs see it; only the build folder is
        visible to them."""
        real = os.path.realpath(path)
        if real != self.build and not real.startswith(self.build + "/"):
            raise ValueError(f"{path} is outside the build folder {self.build}")
        return self.drive + real[len(self.build):].replace("/", "\\")

    def run(self, *arguments, check=True, timeout=None, env=None, through=()):
        """Runs wine64 with the arguments (a Windows program and its own)
        and returns the finished process, its output as bytes. The output
        goes through files, not pipes: a background process that Wine starts
        on the way would hold a pipe open after the program ended. env:
        variables to add; through: a host command that runs wine64 (strace,
        say)."""
        os.makedirs(self.scratch, exist_ok=True)
        with tempfile.TemporaryFile(dir=self.scratch) as out, tempfile.TemporaryFile(dir=self.scratch) as err:
            done = subprocess.run([*through, self.wine64, *arguments], env=dict(self.env, **(env or {})),
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            done.stdout, done.stderr = out.read(), err.read()
        if check and done.returncode != 0:
            raise subprocess.CalledProcessError(done.returncode, done.args, done.stdout, done.stderr)
        return done

    def start_server(self):
        """One persistent wineserver for the prefix, so that no process
        start pays for a fresh one, and Wine's background processes started
        here, where they hold no caller's output open. A server that already
        runs serves as well; True when this call started it."""
        quiet = dict(env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started = subprocess.run([self.wineserver, "-p"], **quiet).returncode == 0
        subprocess.run([self.wine64, "cmd.exe", "/c", "exit"], **quiet)
        return started

    def stop_server(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, stderr=subprocess.DEVNULL)

    def machine(self):
        """Processor, cores, memory, system and Wine: where figures were taken."""
        cpu = "unknown"
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
        with open("/proc/meminfo") as f:
            memory_kib = int(f.read().split()[1])
        version = subprocess.run([self.wine64, "--version"], capture_output=True, text=True).stdout.strip()
        return (f"{cpu}, {os.cpu_count()} cores, {memory_kib / 1048576:.0f} GiB, {platform.system()} "
                f"{platform.release()}, {version or 'wine'}")


def key_values(text):
    """The "key value" lines a Windows program printed, by key; a key
    without a value is left out."""
    values = {}
    for line in text.replace("\r", "").splitlines():
        key, _, value = line.partition(" ")
        if value:
            values[key] = value
    return values
