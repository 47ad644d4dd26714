#!/usr/bin/env python3
"""The Debian package, built with the build's own cpack: its contents, its
dependencies and lintian's verdict, its systemd unit, and websvr run from the
unpacked tree the way the unit runs it: it serves the web root and the example
application, over HTTPS too with the certificate it makes in the state folder,
writes only into the state folder, and stops in order on SIGTERM.

    package_test.py --build-dir BUILD --cpack CPACK
Exits 77 (skipped) where dpkg-deb is missing.
"""
import argparse
import glob
import os
import re
import shlex
import shutil
import signal
import sqlite3
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

# The tests' shared helpers lie in tests/support.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from freeports import free_ports  # noqa: E402

PROGRAM = "usr/lib/quorvex"
STATE = "var/lib/quorvex"
UNIT = "usr/lib/systemd/system/quorvex-websvr.service"
EXAMPLE = "examples/microsoft access"


# How long a wait looks for what it waits for: it ends as soon as that comes, so this bounds
# only a failing run, far beyond what a loaded machine needs.
WAIT_SECONDS = 90


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(*command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise Failure(f"{' '.join(command)} failed ({result.returncode}):\n"
                      f"{result.stdout}{result.stderr}")
    return result.stdout


def build_package(build_dir, cpack, work):
    out = os.path.join(work, "cpack")
    run(cpack, "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out)
    debs = glob.glob(os.path.join(out, "*.deb"))
    check(len(debs) == 1, f"cpack made {debs}")
    return debs[0]


def check_contents(deb, root):
    paths = [line.split(None, 5)[5].split(" -> ")[0].removeprefix(".")
             for line in run("dpkg-deb", "--contents", deb).splitlines()]
    outside = [p for p in paths if not p.startswith("/usr/")]
    check(not outside, f"the package installs outside /usr: {outside}")

    # The help pages, which Help opens as files, in every language, beside the web root
    # whose style sheet they take.
    for language in ("en", "de"):
        for page in ("index.html", "tracelog.html", "ServerSettings.html"):
            path = f"/{PROGRAM}/help/{language}/{page}"
            check(path in paths, f"the package lacks {path}")
    check(f"/{PROGRAM}/wwwroot/style.css" in paths, "the package lacks the web root's style sheet")

    # The desktop entry names what the package installs.
    entry = dict(line.split("=", 1) for line in
                 open(os.path.join(root, "usr/share/applications/quorvex-websvr.desktop"))
                 if "=" in line)
    check(os.access(os.path.join(root, entry["Exec"].split()[0].lstrip("/")), os.X_OK),
          f"the desktop entry's Exec {entry['Exec']!r} is not in the package")
    icons = glob.glob(os.path.join(root, f"usr/share/icons/hicolor/*/apps/{entry['Icon'].strip()}.*"))
    check(len(icons) == 8, f"icon sizes for {entry['Icon']!r}: {icons}")


def check_dependencies(deb, root):
    depends_field = run("dpkg-deb", "--field", deb, "Depends").strip()
    depends = {d.strip().split()[0] for d in re.split(r"[,|]", depends_field)}
    check("adduser" in depends, f"no adduser (the postinst needs it) in {depends}")
    # HTTPS: the OpenSSL library, as dpkg-shlibdeps names it.
    check(re.search(r"(^|, )libssl3 \(>= [^)]+\)", depends_field) is not None,
          f"Depends names no libssl3 (>= ...): {depends_field}")
    # Every library the programs load must come from a package the Depends names.
    for name in ("websvr", "dbsvr"):
        program = os.path.join(root, PROGRAM, name)
        needed = re.findall(r"\(NEEDED\).*\[(.+)\]", run("readelf", "--dynamic", program))
        listed = run("ldd", program)
        found = dict(re.findall(r"^\s*(\S+) => (/\S+)", listed, re.M))
        # The dynamic loader is listed by its path alone (a program with thread-local
        # storage names it).
        found.update((os.path.basename(path), path)
                     for path in re.findall(r"^\s*(/\S+) \(0x", listed, re.M))
        for library in needed:
            check(library in found, f"{name} needs {library}, which is not found")
            owner = package_of(found[library])
            check(owner is None or owner in depends,
                  f"{name} needs {library} of {owner}, which Depends lacks: {depends_field}")


def package_of(library):
    """The package that ships a library, trying both sides of the /usr merge."""
    real = os.path.realpath(library)
    for path in {library, real, real.removeprefix("/usr"), "/usr" + real}:
        result = subprocess.run(["dpkg", "--search", path], capture_output=True, text=True)
        if result.returncode == 0:
            return result.stdout.split(":")[0]
    return None


def run_lintian(deb):
    if not shutil.which("lintian"):
        print("lintian not installed: not run")
        return
    result = subprocess.run(["lintian", "--fail-on", "error", "--allow-root", deb],
                            capture_output=True, text=True)
    print(result.stdout + result.stderr, end="")
    check(result.returncode == 0, "lintian found errors")


def verify_unit(root):
    if not shutil.which("systemd-analyze"):
        print("systemd-analyze not installed: unit not verified")
        return
    # The programs it names are checked where they were unpacked (the run below
    # starts them by the same names).
    unit = os.path.join(os.path.dirname(root), os.path.basename(UNIT))
    with open(unit, "w") as f:
        f.write(open(os.path.join(root, UNIT)).read().replace("=/usr/", f"={root}/usr/"))
    result = subprocess.run(["systemd-analyze", "verify", unit], capture_output=True, text=True)
    output = (result.stdout + result.stderr).strip()
    check(result.returncode == 0 and "quorvex" not in output,
          f"systemd-analyze verify: {output}")


def unit_settings(root):
    """ExecStartPre, ExecStart (their programs taken from root) and the environment of the unit."""
    settings = {"Environment": []}
    for line in open(os.path.join(root, UNIT)):
        key, _, value = line.strip().partition("=")
        if key in ("ExecStartPre", "ExecStart"):
            program, *arguments = shlex.split(value)
            settings[key] = [os.path.join(root, program.lstrip("/"))] + arguments
        elif key == "Environment":
            settings[key] += shlex.split(value)
    return settings


def in_namespace(root):
    """A command prefix that runs in a private mount namespace where the state
    folder is root's and root's usr/ is read-only, as ProtectSystem makes /usr."""
    prefix = ["unshare", "--mount", "--propagation", "private"]
    if os.geteuid() != 0:
        prefix.append("--map-root-user")
    mounts = (f"mount --bind {shlex.quote(root)}/var/lib /var/lib && "
              f"mount --bind {shlex.quote(root)}/usr {shlex.quote(root)}/usr && "
              f"mount -o remount,bind,ro {shlex.quote(root)}/usr && exec \"$@\"")
    return prefix + ["sh", "-c", mounts, "namespace"]


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None


def fetch(url, data=None, trust=None):
    """trust: an SSL context for an https address."""
    opener = urllib.request.build_opener(NoRedirect, urllib.request.HTTPSHandler(context=trust))
    body = urllib.parse.urlencode(data).encode() if data else None
    try:
        with opener.open(url, body, timeout=WAIT_SECONDS) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def wait_for(predicate, what):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise Failure(f"timed out waiting for {what}")


def processes_of(executable):
    pids = []
    for entry in os.listdir("/proc"):
        try:
            if entry.isdigit() and os.readlink(f"/proc/{entry}/exe") == executable:
                pids.append(int(entry))
        except OSError:
            pass
    return pids


def answer_with_data_server(url):
    answer = fetch(url)
    return None if b"Data Server is not running." in answer[2] else answer


def form_with_token(base):
    """The new-customer form once it carries its token: a data server that is slow to start
    may first give the "try again" page."""
    _, _, page = fetch(base + "/?page=form&name=newcustomer")
    return page if b'name="formtoken"' in page else None


def write_with_form(base, database):
    """A form's write reaches the example database in the state folder."""
    form = wait_for(lambda: form_with_token(base), "the form with its token")
    fields = dict(re.findall(rb'<input type="hidden" name="([^"]+)" value="([^"]*)"', form))
    post = {k.decode(): v.decode() for k, v in fields.items()}
    post.update({"f.name": "Package Test", "f.city": "Bern", "f.country": "Switzerland"})
    status, _, body = fetch(base + "/", post)
    check(status == 302, f"the form post answered {status}: "
          + re.sub(r"\s+", " ", re.sub(r"<[^>]+>", " ", body.decode(errors="replace")))[-600:])
    with sqlite3.connect(database) as db:
        rows = db.execute("SELECT city FROM customers WHERE name = 'Package Test'").fetchall()
    check(rows == [("Bern",)], f"the customer in {database}: {rows}")


def mode(path):
    return os.stat(path).st_mode & 0o7777


def check_private_example(folder, what):
    """The example application's folder and database files are their owner's alone: the forms
    write what people enter into the database."""
    check(mode(folder) == 0o700, f"{what}: the example folder is {oct(mode(folder))}")
    for database in glob.glob(os.path.join(glob.escape(folder), "sample.db*")):
        check(mode(database) == 0o600, f"{what}: {database} is {oct(mode(database))}")


def check_https(data, port, index):
    """HTTPS with the certificate websvr made in the state folder, trusted as itself for
    localhost; its key is the owner's alone, and that owner is the one of all else there."""
    certificate = os.path.join(data, "https-certificate.pem")
    status, _, body = fetch(f"https://localhost:{port}/index.htm",
                            trust=ssl.create_default_context(cafile=certificate))
    check(status == 200 and body == index, f"/index.htm over HTTPS: {status}")
    key = os.stat(os.path.join(data, "https-key.pem"))
    check(key.st_mode & 0o7777 == 0o600, f"the made key is {oct(key.st_mode & 0o7777)}")
    for other in [data, certificate] + glob.glob(os.path.join(glob.escape(data), "Logs/*.log")):
        owner = os.stat(other)
        check((key.st_uid, key.st_gid) == (owner.st_uid, owner.st_gid),
              f"the made key belongs to {key.st_uid}:{key.st_gid}, {other} to "
              f"{owner.st_uid}:{owner.st_gid}")


def serve_and_stop(root):
    """Runs websvr as the unit does, after what the postinst does on a first installation."""
    unit = unit_settings(root)
    state = os.path.join(root, STATE)
    os.makedirs(state)
    os.makedirs(os.path.join(root, "tmp"))
    namespace = in_namespace(root)
    if subprocess.run(namespace + ["true"], capture_output=True).returncode != 0:
        print("SKIP: no private mount namespace here, the package was not run")
        return False
    run(*namespace, os.path.join(root, PROGRAM, "prepare-state"), "--example")
    run(*namespace, *unit["ExecStartPre"])
    check_private_example(os.path.join(state, EXAMPLE), "after prepare-state")
    port, secure_port = free_ports(2)
    with open(os.path.join(state, "data/config/webserver.xml"), "w") as f:
        f.write(f"<Settings><TCPPort>{port}</TCPPort><HttpsEnabled>1</HttpsEnabled>"
                f"<HttpsPort>{secure_port}</HttpsPort></Settings>")

    # As systemd starts it: no inherited temp folder, and PrivateTmp's empty /tmp.
    env = {k: v for k, v in os.environ.items() if k not in ("TEMP", "TMP", "TMPDIR")}
    env.update(v.split("=", 1) for v in unit["Environment"])
    if "TEMP" in env:
        env["TEMP"] = os.path.join(root, env["TEMP"].lstrip("/"))
        os.makedirs(env["TEMP"], mode=0o700, exist_ok=True)  # the unit's RuntimeDirectory
    output = os.path.join(root, "..", "websvr.out")
    with open(output, "w") as out:
        websvr = subprocess.Popen(namespace + unit["ExecStart"], cwd=root, env=env, stdout=out,
                                  stderr=subprocess.STDOUT)
    try:
        wait_for(lambda: "Serving https://" in open(output).read() or websvr.poll() is not None,
                 "the served addresses")
        check(websvr.poll() is None, f"websvr ended: {open(output).read()}")
        base = f"http://127.0.0.1:{port}"

        status, _, body = fetch(base + "/index.htm")
        index = open(os.path.join(root, PROGRAM, "wwwroot/index.htm"), "rb").read()
        check(status == 200 and body == index, f"/index.htm: {status}")
        check_https(os.path.join(state, "data"), secure_port, index)
        # "/" is answered by the web application once websvr sees its data server.
        status, _, home = wait_for(lambda: answer_with_data_server(base + "/"), "the data server")
        check(status == 200, f"/ answered {status}: {home}")
        check(b"home page of the Quorvex example application" in home,
              "/ is not the example application's home page")
        write_with_form(base, os.path.join(state, EXAMPLE, "sample.db"))
        check_private_example(os.path.join(state, EXAMPLE), "after a form's write")

        dbsvr = wait_for(lambda: processes_of(os.path.join(root, PROGRAM, "dbsvr")), "dbsvr")
        websvr.send_signal(signal.SIGTERM)
        code = websvr.wait(timeout=WAIT_SECONDS)
        check(code == 0, f"websvr ended with {code} on SIGTERM: {open(output).read()}")
        wait_for(lambda: not any(os.path.exists(f"/proc/{p}") for p in dbsvr),
                 "dbsvr to end after websvr")
    finally:
        if websvr.poll() is None:
            websvr.kill()
            websvr.wait()

    leftover = os.listdir(os.path.join(env["TEMP"], "Quorvex"))
    check(str(websvr.pid) not in leftover, f"the instance folder is left: {leftover}")
    check(glob.glob(os.path.join(state, "data/Logs/*.log")), "no log in the state folder")
    # usr/ was read-only; nothing went to the working folder either.
    check(sorted(os.listdir(root)) == ["run", "tmp", "usr", "var"],
          f"written beside usr and var: {os.listdir(root)}")
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--cpack", default="cpack")
    args = parser.parse_args()
    if not shutil.which("dpkg-deb"):
        print("SKIP: no dpkg-deb")
        return 77

    work = tempfile.mkdtemp(prefix="qv-package-")
    try:
        started = time.monotonic()
        check_private_example(os.path.join(args.build_dir, "quorvex", EXAMPLE), "staged")
        deb = build_package(args.build_dir, args.cpack, work)
        print(f"built {os.path.basename(deb)} in {time.monotonic() - started:.1f} s")
        root = os.path.join(work, "root")
        run("dpkg-deb", "--extract", deb, root)
        check_contents(deb, root)
        check_dependencies(deb, root)
        run_lintian(deb)
        verify_unit(root)
        if not serve_and_stop(root):
            return 77
        print(f"PASS in {time.monotonic() - started:.1f} s")
        return 0
    except Failure as failure:
        print(f"FAIL: {failure}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
