"""A stand-in for systemctl where no systemd runs (a test machine, a
container), so that the package's scripts and the docs' steps can be run
as written: it starts the unit's ExecStart as its User with the environment
its Environment= and EnvironmentFile= lines (and drop-ins) give, stops it
with SIGTERM, and makes and removes the links `enable` and `disable` make.
What it does not do: sandboxing (PrivateTmp, ProtectSystem ...), restarts
on failure, the journal (the service's output goes to a file, `log`).

    systemctl [--quiet] start|stop|restart|try-restart|reload|is-active|enable|disable [--now] UNIT
    systemctl daemon-reload
State (the pid, the output) lives in the folder FAKE_SYSTEMD_STATE names.
Every call is appended to FAKE_SYSTEMD_STATE/calls, one line each."""
import glob
import os
import shlex
import signal
import subprocess
import sys
import time

UNITS = "/lib/systemd/system"
ADMIN = "/etc/systemd/system"
STATE = os.environ.get("FAKE_SYSTEMD_STATE", "/tmp/fake-systemd")


def unit_lines(name):
    """(key, value) of the unit file and its drop-ins, in the order systemd reads them."""
    files = [os.path.join(UNITS, name)] + sorted(glob.glob(os.path.join(ADMIN, name + ".d", "*.conf")))
    lines = []
    for path in files:
        with open(path) as f:
            for line in f:
                line = line.strip()
                if "=" in line and not line.startswith(("#", ";", "[")):
                    key, value = line.split("=", 1)
                    lines.append((key.strip(), value.strip()))
    return lines


def environment_of(lines):
    environment = {"PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", "LANG": "C.UTF-8"}
    files = {}
    for key, value in lines:
        if key == "Environment":
            for word in shlex.split(value):
                name, _, setting = word.partition("=")
                environment[name] = setting
        elif key == "EnvironmentFile":
            files[value.lstrip("-")] = value.startswith("-")
    # Variables of the files override Environment= (systemd.exec(5)).
    for path, optional in files.items():
        if not os.path.exists(path) and optional:
            continue
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line and not line.startswith(("#", ";")) and "=" in line:
                    name, _, setting = line.partition("=")
                    environment[name.strip()] = setting.strip().strip('"')
    return environment


def command_of(exec_start, environment):
    """ExecStart's words: ${NAME} is one word, $NAME splits at blanks."""
    words = []
    for word in shlex.split(exec_start):
        if word.startswith("${") and word.endswith("}"):
            words.append(environment.get(word[2:-1], ""))
        elif word.startswith("$"):
            words.extend(environment.get(word[1:], "").split())
        else:
            words.append(word)
    return words


def pid_of(name):
    try:
        with open(os.path.join(STATE, name + ".pid")) as f:
            pid = int(f.read())
        os.kill(pid, 0)
        with open("/proc/%d/stat" % pid) as f:
            return None if f.read().split(")")[1].split()[0] == "Z" else pid
    except (OSError, ValueError):
        return None


def start(name):
    if pid_of(name):
        return 0
    lines = unit_lines(name)
    settings = dict(lines)
    environment = environment_of(lines)
    command = command_of(settings["ExecStart"], environment)
    user = settings.get("User", "root")
    wrapper = ["setpriv", "--reuid=" + user, "--regid=" + settings.get("Group", user), "--init-groups"]
    capabilities = settings.get("AmbientCapabilities", "")
    if capabilities:
        names = ",".join("+" + c.lower().replace("cap_", "") for c in capabilities.split())
        wrapper += ["--inh-caps=" + names, "--ambient-caps=" + names]
    log_path = os.path.join(STATE, name + ".log")
    log = open(log_path, "a")
    seen = log.tell()
    process = subprocess.Popen(wrapper + command, stdout=log, stderr=log, stdin=subprocess.DEVNULL, cwd="/",
                               env=environment, start_new_session=True)
    with open(os.path.join(STATE, name + ".pid"), "w") as f:
        f.write(str(process.pid))
    # Type=exec does not wait for the service to be ready; waiting for its
    # first line keeps what follows from racing it.
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and process.poll() is None:
        with open(log_path) as f:
            f.seek(seen)
            if "listening on" in f.read():
                return 0
        time.sleep(0.05)
    print("Job for %s failed: the service ended or did not start (%s)" % (name, log_path), file=sys.stderr)
    return 1


def reload(name):
    """ExecReload, $MAINPID being the service's process, as the service's user."""
    pid = pid_of(name)
    if not pid:
        print("%s is not active, cannot reload." % name, file=sys.stderr)
        return 1
    settings = dict(unit_lines(name))
    command = command_of(settings["ExecReload"].replace("$MAINPID", str(pid)), {})
    user = settings.get("User", "root")
    wrapper = ["setpriv", "--reuid=" + user, "--regid=" + settings.get("Group", user), "--init-groups"]
    return subprocess.run(wrapper + command).returncode


def stop(name):
    pid = pid_of(name)
    if not pid:
        return 0
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 150
    while pid_of(name) and time.monotonic() < deadline:
        time.sleep(0.05)
    if pid_of(name):
        os.kill(pid, signal.SIGKILL)
    try:
        os.waitpid(pid, 0)
    except ChildProcessError:
        pass
    return 0


def enable(name):
    for key, value in unit_lines(name):
        if key == "WantedBy":
            folder = os.path.join(ADMIN, value + ".wants")
            os.makedirs(folder, exist_ok=True)
            link = os.path.join(folder, name)
            if not os.path.islink(link):
                os.symlink(os.path.join(UNITS, name), link)
                print("Created symlink %s → %s." % (link, os.path.join(UNITS, name)), file=sys.stderr)
    return 0


def disable(name):
    for link in glob.glob(os.path.join(ADMIN, "*.wants", name)):
        os.remove(link)
        print("Removed %s." % link, file=sys.stderr)
    return 0


def main(arguments):
    os.makedirs(STATE, exist_ok=True)
    with open(os.path.join(STATE, "calls"), "a") as f:
        f.write(" ".join(arguments) + "\n")
    words = [a for a in arguments if a not in ("--quiet", "-q", "--no-block")]
    now = "--now" in words
    words = [w for w in words if w != "--now"]
    if words == ["daemon-reload"]:
        return 0
    if len(words) != 2:
        print("fake systemctl: cannot do: " + " ".join(arguments), file=sys.stderr)
        return 1
    verb, name = words
    name = name if name.endswith(".service") else name + ".service"
    if verb == "start":
        return start(name)
    if verb == "stop":
        return stop(name)
    if verb == "restart":
        stop(name)
        return start(name)
    if verb == "try-restart":
        if not pid_of(name):
            return 0
        stop(name)
        return start(name)
    if verb == "reload":
        return reload(name)
    if verb == "is-active":
        active = pid_of(name) is not None
        print("active" if active else "inactive")
        return 0 if active else 3
    if verb == "enable":
        return enable(name) or (start(name) if now else 0)
    if verb == "disable":
        return disable(name) or (stop(name) if now else 0)
    print("fake systemctl: cannot do: " + " ".join(arguments), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
