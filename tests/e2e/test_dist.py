"""The release archives of `make dist` (build/dist): each unpacked into an
empty folder serves, with nothing but what it holds, to stamp the sample
application (the Linux tool on the host, zorvo-build.exe under Wine), whose
launcher runs under Wine; the Linux tool needs no shared library; and the
archives come out the same bytes when made again."""

import shutil
import subprocess
import tarfile
import zipfile

import pytest

from conftest import ARCHES, BUILD, REPO, to_windows_path
from test_launch import lay_out_runtime

DIST = BUILD / "dist"
VERSION = (REPO / "VERSION").read_text().split()[0]
ARCHIVES = {
    "linux": (f"zorvo-{VERSION}-linux-x86_64.tar.gz", "zorvo-build"),
    "windows": (f"zorvo-{VERSION}-windows-x64.zip", "zorvo-build.exe"),
}
# What the dump adds to a configuration: the default messages, and what the
# tool derives (the splash size from the image, the original file name).
DERIVED = ("msg-", "splash-width", "splash-height", "original-filename")


def unpack(kind, into):
    archive = DIST / ARCHIVES[kind][0]
    assert archive.exists(), f"{archive} is missing: make dist (make test does it)"
    with (tarfile.open(archive) if archive.suffix == ".gz" else zipfile.ZipFile(archive)) as opened:
        opened.extractall(into)
    root = into / f"zorvo-{VERSION}"
    tool = root / ARCHIVES[kind][1]
    tool.chmod(0o755)  # zipfile keeps no modes
    return root, tool


def directives(text):
    """The `name = value` lines of a configuration, without comments."""
    lines = (line.strip() for line in text.splitlines())
    return {line for line in lines if line and not line.startswith("#")}


@pytest.mark.parametrize("kind", ["linux", "windows"])
def test_an_unpacked_archive_stamps_the_sample_and_its_launcher_runs(kind, prefixes, tmp_path):
    wine = prefixes.get(ARCHES["win64"])
    root, tool = unpack(kind, tmp_path / "unpacked")
    assert {p.name for p in (root / "docs").iterdir()} >= {"README.md", "config-entries.md"}
    assert (root / "LICENSE").is_file() and (root / "CHANGELOG.md").is_file()
    app = tmp_path / "app"
    (app / "lib").mkdir(parents=True)
    shutil.copy(root / "zorvo-runtime.jar", app / "lib")
    lay_out_runtime(app, ARCHES["win64"].testvm)
    paths = [root / "launchers" / "win64" / "launcher.exe", root / "sample" / "sample-app.conf", app / "SampleApp.exe"]

    def run_tool(*args):
        if kind == "linux":
            proc = subprocess.run([str(tool), *map(str, args)], capture_output=True, stdin=subprocess.DEVNULL)
            return proc.returncode, proc.stdout.decode(), proc.stderr.decode()
        result = wine.run(tool, [to_windows_path(a) if hasattr(a, "parts") else a for a in args])
        return result.returncode, result.out.replace("\r\n", "\n"), result.err

    assert run_tool("--version")[1] == f"zorvo-build {VERSION}\n"
    code, _, err = run_tool("--launcher", paths[0], "--config", paths[1], "--out", paths[2])
    assert code == 0, err
    code, dump, err = run_tool("--dump", paths[2])
    assert code == 0, err
    given = {d for d in directives(paths[1].read_text()) if not d.startswith(("icon ", "splash-image "))}
    dumped = directives(dump)
    assert given <= dumped and all(d.startswith(DERIVED) for d in dumped - given), dumped ^ given
    launch = wine.run(app / "SampleApp.exe", ["-q_qbk_internal", "from the archive"],
                      env={"ZORVO_TESTVM_LOG": str(tmp_path / "vm.jsonl")})
    assert (launch.returncode, launch.stderr) == (0, b"")
    assert '"from the archive"' in (tmp_path / "vm.jsonl").read_text(encoding="ascii")


def test_the_linux_tool_needs_no_shared_library(tmp_path):
    _, tool = unpack("linux", tmp_path)
    proc = subprocess.run(["ldd", str(tool)], capture_output=True, text=True)
    assert "not a dynamic executable" in proc.stdout + proc.stderr


def test_made_again_the_archives_are_the_same_bytes(tmp_path):
    """A second run builds its own Linux tool from scratch and packs again."""
    proc = subprocess.run(["/usr/bin/python3", str(REPO / "tools" / "make-dist.py"), "--out", str(tmp_path / "dist"),
                           "--tool-build", str(tmp_path / "tool")], capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stderr
    assert (tmp_path / "dist" / "SHA256SUMS").read_text() == (DIST / "SHA256SUMS").read_text()
