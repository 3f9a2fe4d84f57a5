"""The Maven sample project built offline with `mvn package` through the
plugin (installed into build/m2 by `make maven`): its launcher starts the
application with the class path, options and arguments the POM gives, and a
mistake in the POM fails the build naming the parameter."""

import re
import shutil
import struct
import subprocess

import pytest

from conftest import BOTH_ARCHES, BUILD, REPO
from runtimes import make_runtime
from test_launch import App, short_dir

SAMPLE = REPO / "demo" / "maven-hello"
PLUGIN = BUILD / "m2" / "com" / "zorvo" / "zorvo-maven-plugin"
FINAL_NAME = "maven-hello-1.4.0-SNAPSHOT"
INSTALLED = BUILD / "m2" / "com" / "example" / "maven-hello" / "1.4.0-SNAPSHOT"


def mvn(project, *args, phase="package"):
    """`mvn package` (or another phase) of a copy of the sample, offline from Debian's repository and build/m2."""
    assert PLUGIN.is_dir(), "the plugin is not installed into build/m2: run make maven"
    return subprocess.run(["mvn", "-B", "-q", f"-Dmaven.repo.local={BUILD / 'm2'}", phase, *args],
                          cwd=project, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)


def sample_copy(tmp_path, pom_edit=None):
    project = tmp_path / "maven-hello"
    shutil.copytree(SAMPLE, project, ignore=shutil.ignore_patterns("target"))
    if pom_edit:
        pom = project / "pom.xml"
        old, new = pom_edit
        text = pom.read_text()
        assert old in text
        pom.write_text(text.replace(old, new))
    return project


@BOTH_ARCHES
def test_the_sample_projects_launcher_starts_its_main_class(wine, tmp_path, arch):
    project = sample_copy(tmp_path)
    build = mvn(project, "-Dzorvo.arch=" + ("x86" if arch.name == "win32" else "x64"), phase="install")
    assert build.returncode == 0, build.stdout.decode()
    target = project / "target"
    exe = target / f"{FINAL_NAME}.exe"
    image = exe.read_bytes()
    assert struct.unpack_from("<H", image, struct.unpack_from("<I", image, 60)[0] + 4)[0] == arch.machine
    # Attached to the project, the launcher is installed with its jar.
    assert (INSTALLED / f"{FINAL_NAME}.exe").read_bytes() == image
    assert (target / "zorvo-runtime.jar").read_bytes() == (BUILD / "zorvo-runtime.jar").read_bytes()

    make_runtime(target / "jre", version="17.0.9", kinds=("server",), testvm=arch.testvm)  # the POM asks for 11+
    run = App(wine, exe, tmp_path).run('"My Notes.txt"')
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, target)
    assert run.class_path.lower() == f'-Djava.class.path=";{exe_dir}zorvo-runtime.jar;{exe_dir}{FINAL_NAME}.jar;"'.lower()
    assert run.options_after_class_path() == ["-Xmx256m", "-Dhello.greeting=Hello, world"]
    assert run.main_args[1] == "com.example.mavenhello.Main"
    assert run.app_args == ["--from-launcher", "My Notes.txt"]


@pytest.mark.parametrize("pom_edit, error", [
    (("<mainClass>com.example.mavenhello.Main</mainClass>", "<mainClas>com.example.mavenhello.Main</mainClas>"),
     "POM parameter <mainClas> is no parameter of zorvo:launcher; did you mean <mainClass>?"),
    (("<minJavaVersion>11</minJavaVersion>", "<minJavaVersion>java 11</minJavaVersion>"),
     "POM parameter <minJavaVersion>: min-java-version needs a version such as 8, 1.8, 11 or 17.0.2 (numbers "
     "separated by dots), not 'java 11'"),
    (("<configFile>src/main/zorvo/launcher.conf</configFile>", "<icon>missing.ico</icon>"),
     "POM parameter <icon>: cannot use icon '{project}/missing.ico': "),
], ids=["misspelt-parameter", "bad-value", "missing-icon"])
def test_a_mistake_in_the_pom_fails_the_build_naming_the_parameter(tmp_path, pom_edit, error):
    project = sample_copy(tmp_path, pom_edit)
    build = mvn(project)
    output = build.stdout.decode()
    assert build.returncode == 1
    assert error.format(project=project) in output, output
    # A user's mistake is reported, not thrown: no stack trace, and no launcher.
    assert not re.search(r"^\s+at [\w.$]+\(", output, re.MULTILINE), output
    assert not (project / "target" / f"{FINAL_NAME}.exe").exists()


def test_skip_turns_the_goal_off(tmp_path):
    project = sample_copy(tmp_path)
    build = mvn(project, "-Dzorvo.skip=true")
    assert build.returncode == 0, build.stdout.decode()
    assert (project / "target" / f"{FINAL_NAME}.jar").is_file()
    assert not (project / "target" / f"{FINAL_NAME}.exe").exists()
