"""The commands of the user guide as a vendor runs them: every `sh` block of
the guide in the unpacked Linux archive, page after page (the quick start
first, whose configuration file the later pages use), and the quick start's
`bat` blocks in the unpacked Windows archive under Wine's cmd. A block that
begins with a `needs:` line names what it needs beyond the archive (a JDK of
Windows, a downloaded file) and is not run. What only the vendor's machine
has is played here: the signing certificate `vendor.p12` with PFX_PASSWORD, a
time-stamp authority behind the http_proxy (osslsigncode asks the address in
the guide through it), the trust the system gives both certificates, and a
Maven that reaches a repository (Debian's, offline, into a fresh local
repository)."""

import http.server
import os
import re
import stat
import subprocess
import threading

import pytest

from conftest import ARCHES, REPO
from test_dist import unpack
from test_launch import lay_out_runtime

GUIDE = REPO / "docs" / "user"
FIRST = "quick-start.md"

TSA_CONFIG = """[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {serial}
signer_digest = sha256
default_policy = 1.2.3.4.1
other_policies = 1.2.3.4.5
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


def pages():
    names = sorted(p.name for p in GUIDE.glob("*.md"))
    return [FIRST] + [n for n in names if n != FIRST]


def blocks(text, language):
    """The fenced blocks of a language, in order, without their indentation."""
    found = []
    for m in re.finditer(rf"^( *)```{language}\n(.*?)^ *```", text, re.S | re.M):
        indent = len(m.group(1))
        found.append("".join(line[indent:] for line in m.group(2).splitlines(keepends=True)))
    return found


def runnable(block):
    first = block.lstrip().split("\n", 1)[0]
    return not re.match(r"(#|rem) needs:", first, re.I)


def saved_files(text):
    """The files a page tells the reader to save: {name: content}."""
    return {m.group(1): m.group(2) for m in re.finditer(r"Save this as `([^`]+)`[^\n]*\n\n```ini\n(.*?)```", text, re.S)}


def openssl(*args, cwd):
    subprocess.run(["openssl", *map(str, args)], cwd=cwd, check=True, capture_output=True)


def certificate(cwd, name, subject, usage):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.crt",
            "-days", "30", "-subj", f"/CN={subject}", "-addext", f"extendedKeyUsage={usage}", cwd=cwd)


@pytest.fixture
def vendor_machine(tmp_path):
    """(environment, trusted certificates): a signing certificate vendor.p12,
    a local time-stamp authority as the HTTP proxy, and an osslsigncode that
    trusts both when it verifies, as a vendor's system trusts a real one."""
    keys = tmp_path / "keys"
    keys.mkdir()
    certificate(keys, "vendor", "Example Software Ltd.", "codeSigning")
    certificate(keys, "tsa", "Example Time Stamps", "critical,timeStamping")
    openssl("pkcs12", "-export", "-in", "vendor.crt", "-inkey", "vendor.key", "-out", "vendor.p12",
            "-passout", "pass:vendor-secret", cwd=keys)
    (keys / "serial").write_text("01\n")
    (keys / "tsa.cnf").write_text(TSA_CONFIG.format(serial=keys / "serial"))

    class TimeStamps(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            (keys / "query.tsq").write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
            openssl("ts", "-reply", "-config", "tsa.cnf", "-queryfile", "query.tsq", "-signer", "tsa.crt",
                    "-inkey", "tsa.key", "-out", "reply.tsr", cwd=keys)
            reply = (keys / "reply.tsr").read_bytes()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    shims = tmp_path / "shims"
    shims.mkdir()
    shim = shims / "osslsigncode"
    shim.write_text('#!/bin/sh\nif [ "$1" = verify ]; then shift; '
                    f'exec /usr/bin/osslsigncode verify -CAfile "{keys}/vendor.crt" -TSA-CAfile "{keys}/tsa.crt" "$@"; fi\n'
                    'exec /usr/bin/osslsigncode "$@"\n')
    shim.chmod(shim.stat().st_mode | stat.S_IXUSR)
    settings = tmp_path / "maven-settings.xml"
    settings.write_text(f"<settings><localRepository>{tmp_path / 'm2'}</localRepository><mirrors><mirror>"
                        "<id>debian</id><mirrorOf>*</mirrorOf><url>file:///usr/share/maven-repo</url>"
                        "</mirror></mirrors></settings>")
    mvn = shims / "mvn"
    mvn.write_text(f'#!/bin/sh\nexec /usr/bin/mvn -B -q -o -Daether.offline.protocols=file -s "{settings}" "$@"\n')
    mvn.chmod(mvn.stat().st_mode | stat.S_IXUSR)
    env = {**os.environ, "PATH": f"{shims}:{os.environ['PATH']}", "PFX_PASSWORD": "vendor-secret",
           "http_proxy": f"http://127.0.0.1:{server.server_port}", "no_proxy": ""}
    yield env, keys / "vendor.p12"
    server.shutdown()


def test_every_command_of_the_guide_runs_as_written(vendor_machine, prefixes, tmp_path):
    env, p12 = vendor_machine
    root, _ = unpack("linux", tmp_path / "linux")
    (root / "vendor.p12").write_bytes(p12.read_bytes())
    ran = []
    for page in pages():
        text = (root / "docs" / page).read_text()
        for name, content in saved_files(text).items():
            (root / name).write_text(content)
        for block in filter(runnable, blocks(text, "sh")):
            proc = subprocess.run(["bash", "-e", "-c", block], cwd=root, env=env, capture_output=True, text=True,
                                  timeout=300, stdin=subprocess.DEVNULL)
            assert proc.returncode == 0, f"{page}:\n{block}\n{proc.stdout}{proc.stderr}"
            ran.append(page)
    assert {FIRST, "signing.md", "choosing-a-launcher.md", "java-api.md", "maven.md"} <= set(ran), ran
    assert (root / "classes" / "com" / "example" / "hello" / "Hello.class").is_file()
    # The Maven page shows the sample's POM as it is, and its build made the launcher.
    maven_page = (root / "docs" / "maven.md").read_text()
    assert (root / "sample" / "maven-hello" / "pom.xml").read_text() in blocks(maven_page, "xml")
    assert (root / "sample" / "maven-hello" / "target" / "maven-hello-1.4.0-SNAPSHOT.exe").is_file()

    # The sample stamped by the quick start starts its application.
    hello = root / "Hello"
    wine = prefixes.get(ARCHES["win64"])
    lay_out_runtime(hello, ARCHES["win64"].testvm)
    log = tmp_path / "vm.jsonl"
    result = wine.run(hello / "Hello.exe", ["from the guide"], env={"ZORVO_TESTVM_LOG": str(log)})
    assert (result.returncode, result.stderr) == (0, b"")
    records = log.read_text()
    assert '"com.example.hello.Hello"' in records and '"from the guide"' in records
    assert "\\\\hello.jar;" in records.replace(" ", "")

    # The quick start's Windows commands, in the Windows archive under Wine's cmd.
    win_root, _ = unpack("windows", tmp_path / "windows")
    quick = (win_root / "docs" / FIRST).read_text()
    for name, content in saved_files(quick).items():
        (win_root / name).write_text(content)
    for i, block in enumerate(filter(runnable, blocks(quick, "bat"))):
        lines = [line for line in block.splitlines() if line.strip()]
        script = "".join(f"{line}\r\nif errorlevel 1 exit /b 1\r\n" for line in lines)
        (win_root / f"block{i}.bat").write_bytes(script.encode("latin-1"))
        result = wine.run("cmd", ["/c", f"block{i}.bat"], cwd=win_root, timeout=120)
        assert result.returncode == 0, f"{block}\n{result.out}{result.err}"
    assert (win_root / "Hello" / "Hello.exe").read_bytes() == (hello / "Hello.exe").read_bytes()
    assert (win_root / "My App" / "MyApp.exe").is_file()
