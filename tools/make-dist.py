#!/usr/bin/python3
"""Writes the release archives into build/dist/ (or --out DIR):

  zorvo-<version>-linux-x86_64.tar.gz   the build tool for Linux (static)
  zorvo-<version>-windows-x64.zip       the build tool for 64-bit Windows
  SHA256SUMS                            of both

Each holds one folder zorvo-<version>/ with the build tool, both generic
launchers, zorvo-runtime.jar, the runnable sample application (its
configuration, jar and source), the sample configuration with its icon and
splash image, the Maven plugin (its jar and POM) with a sample Maven project,
the user documentation, the change log and the licence. The Windows binaries
and the jars are those of `make` (build/win32, build/win64,
build/zorvo-runtime.jar, build/hello.jar, maven-plugin/target); the Linux tool is built here, statically, in
--tool-build DIR (default build/dist-linux).

Built twice from the same commit, the archives are the same bytes: members in
sorted order, one time for all of them (the commit's, or SOURCE_DATE_EPOCH),
owner root, fixed modes, no name or time in the gzip header.
"""

import argparse
import gzip
import hashlib
import io
import os
import subprocess
import sys
import tarfile
import time
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
BUILD = REPO / "build"
# When there is neither a commit nor SOURCE_DATE_EPOCH: 2026-01-01.
FALLBACK_EPOCH = 1767225600


def version() -> str:
    return (REPO / "VERSION").read_text().split()[0]


def source_epoch() -> int:
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    proc = subprocess.run(["git", "-C", str(REPO), "log", "-1", "--format=%ct"], capture_output=True, text=True)
    return int(proc.stdout.strip()) if proc.returncode == 0 and proc.stdout.strip() else FALLBACK_EPOCH


def build_linux_tool(build_dir: Path) -> Path:
    """The build tool for Linux, linked statically, without the sanitizers."""
    subprocess.run(["cmake", "-S", str(REPO), "-B", str(build_dir), "-DZORVO_DIST=ON", "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir), "-j", str(os.cpu_count() or 1), "--target", "zorvo-build"],
                   check=True, stdout=subprocess.DEVNULL)
    tool = build_dir / "zorvo-build"
    subprocess.run(["strip", str(tool)], check=True)
    return tool


def maven_sample_members():
    """The sample Maven project's POM and sources (not its offline set-up for this machine)."""
    sample = REPO / "demo" / "maven-hello"
    files = [sample / "pom.xml", *sorted((sample / "src").rglob("*"))]
    return [(f"sample/maven-hello/{p.relative_to(sample).as_posix()}", p, False) for p in files if p.is_file()]


def contents(tool: Path, tool_name: str):
    """(path inside the archive's folder, file on disk, executable) of every member."""
    plugin = f"zorvo-maven-plugin-{version()}"
    members = [
        (tool_name, tool, True),
        ("launchers/win32/launcher.exe", BUILD / "win32" / "launcher.exe", False),
        ("launchers/win64/launcher.exe", BUILD / "win64" / "launcher.exe", False),
        ("zorvo-runtime.jar", BUILD / "zorvo-runtime.jar", False),
        ("sample/hello/hello.conf", REPO / "demo" / "hello" / "hello.conf", False),
        ("sample/hello/hello.jar", BUILD / "hello.jar", False),
        ("sample/hello/com/example/hello/Hello.java", REPO / "demo" / "hello" / "com" / "example" / "hello" / "Hello.java",
         False),
        ("sample/sample-app.conf", REPO / "demo" / "sample-app.conf", False),
        ("sample/sample-app.ico", REPO / "demo" / "sample-app.ico", False),
        ("sample/sample-splash.png", REPO / "demo" / "sample-splash.png", False),
        (f"maven/{plugin}.jar", REPO / "maven-plugin" / "target" / f"{plugin}.jar", False),
        (f"maven/{plugin}.pom", REPO / "maven-plugin" / "pom.xml", False),
        ("docs/config-entries.md", REPO / "docs" / "config-entries.md", False),
        ("CHANGELOG.md", REPO / "CHANGELOG.md", False),
        ("LICENSE", REPO / "LICENSE", False),
    ]
    members += [(f"docs/{p.name}", p, False) for p in sorted((REPO / "docs" / "user").glob("*.md"))]
    members += maven_sample_members()
    missing = [str(path) for _, path, _ in members if not path.is_file()]
    if missing:
        sys.exit("make-dist: missing (run make first): " + ", ".join(missing))
    return sorted(members)


def directories(names):
    """Every folder the member paths lie in, parents first."""
    found = set()
    for name in names:
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            found.add("/".join(parts[:i]))
    return sorted(found)


def write_tar_gz(path: Path, root: str, members, epoch: int):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as tar:
        def add(name, data=None, executable=False):
            info = tarfile.TarInfo(f"{root}/{name}" if name else root)
            info.mtime, info.uid, info.gid, info.uname, info.gname = epoch, 0, 0, "root", "root"
            if data is None:
                info.type, info.mode = tarfile.DIRTYPE, 0o755
                tar.addfile(info)
            else:
                info.size, info.mode = len(data), 0o755 if executable else 0o644
                tar.addfile(info, io.BytesIO(data))
        add("")
        for folder in directories(name for name, _, _ in members):
            add(folder)
        for name, source, executable in members:
            add(name, source.read_bytes(), executable)
    with open(path, "wb") as out, gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=epoch, compresslevel=9) as gz:
        gz.write(raw.getvalue())


def write_zip(path: Path, root: str, members, epoch: int):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip holds no time before 1980
    with zipfile.ZipFile(path, "w") as archive:
        for folder in [""] + directories(name for name, _, _ in members):
            info = zipfile.ZipInfo(f"{root}/{folder}/" if folder else f"{root}/", stamp)
            info.create_system, info.external_attr = 3, (0o40755 << 16) | 0x10
            archive.writestr(info, b"")
        for name, source, executable in members:
            info = zipfile.ZipInfo(f"{root}/{name}", stamp)
            info.create_system, info.compress_type = 3, zipfile.ZIP_DEFLATED
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            archive.writestr(info, source.read_bytes())


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=Path, default=BUILD / "dist")
    parser.add_argument("--tool-build", type=Path, default=BUILD / "dist-linux")
    args = parser.parse_args(argv)
    release, epoch = version(), source_epoch()
    root = f"zorvo-{release}"
    linux_tool = build_linux_tool(args.tool_build)
    args.out.mkdir(parents=True, exist_ok=True)
    archives = {
        f"{root}-linux-x86_64.tar.gz": lambda p: write_tar_gz(p, root, contents(linux_tool, "zorvo-build"), epoch),
        f"{root}-windows-x64.zip": lambda p: write_zip(p, root, contents(BUILD / "win64" / "zorvo-build.exe",
                                                                           "zorvo-build.exe"), epoch),
    }
    sums = []
    for name, write in archives.items():
        write(args.out / name)
        data = (args.out / name).read_bytes()
        sums.append(f"{hashlib.sha256(data).hexdigest()}  {name}\n")
        print(f"{args.out / name}: {len(data):,} bytes")
    (args.out / "SHA256SUMS").write_text("".join(sorted(sums, key=lambda line: line.split()[1])))
    print(f"{args.out / 'SHA256SUMS'}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
