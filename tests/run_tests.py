#!/usr/bin/python3
"""Runs every test stage and ends with one summary line: N passed, N failed, N skipped.

Stages: host unit tests (GoogleTest), the fuzz targets for a bounded time, the
Java-side tests when present, the Maven plugin's JUnit tests (offline, with
Debian's Maven), the JNI launch code against a real Java VM on the host
(pytest), then the end-to-end tests under Wine (pytest).
Each stage writes JUnit XML (under build/test-results/, or the plugin's
target/surefire-reports/), from which the counts are taken. The exit code is 0 only when nothing failed.

Whether the host runs 32-bit programs is found out once, at the start, and
handed down to the stages (see tools/wine_host.py): where it runs none, the
tests of the 32-bit launcher are skipped and counted as skipped.
"""

import os
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tools"))
import wine_host  # noqa: E402

BUILD = REPO / "build"
RESULTS = BUILD / "test-results"
FUZZ_SECONDS = int(os.environ.get("ZORVO_FUZZ_SECONDS", "60"))


def junit_counts(path: Path):
    """(passed, failed, skipped) of a JUnit XML file; a missing file is one failure."""
    if not path.exists():
        return 0, 1, 0
    root = ET.parse(path).getroot()
    suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
    tests = failed = skipped = 0
    for s in suites:
        tests += int(s.get("tests", 0))
        failed += int(s.get("failures", 0)) + int(s.get("errors", 0))
        skipped += int(s.get("skipped", 0)) + int(s.get("disabled", 0))
    return tests - failed - skipped, failed, skipped


def run(title, cmd, **kw):
    print(f"\n=== {title} ===", flush=True)
    start = time.monotonic()
    proc = subprocess.run(cmd, **{"cwd": REPO, **kw})
    print(f"--- {title}: exit {proc.returncode} in {time.monotonic() - start:.1f} s", flush=True)
    return proc.returncode


def unit_tests(totals):
    xml = RESULTS / "unit.xml"
    xml.unlink(missing_ok=True)
    rc = run("host unit tests", [str(BUILD / "host/tests/unit/zorvo_unit_tests"), f"--gtest_output=xml:{xml}"])
    p, f, s = junit_counts(xml)
    if rc != 0 and f == 0:
        f = 1
    totals.append(("unit", p, f, s))


def fuzz_tests(totals):
    fuzz_dir = BUILD / "fuzz/tests/fuzz"
    targets = sorted(x for x in fuzz_dir.glob("fuzz_*") if x.is_file() and os.access(x, os.X_OK))
    if not targets:
        totals.append(("fuzz", 0, 1, 0))
        print("no fuzz targets built", flush=True)
        return
    passed = failed = 0
    for target in targets:
        corpus = BUILD / "fuzz-corpus" / target.name
        corpus.mkdir(parents=True, exist_ok=True)
        seeds = REPO / "tests/fuzz/corpus" / target.name
        rc = run(f"fuzz {target.name} ({FUZZ_SECONDS} s)",
                 [str(target), f"-max_total_time={FUZZ_SECONDS}", "-print_final_stats=0",
                  f"-artifact_prefix={BUILD}/fuzz-corpus/", str(corpus), str(seeds)],
                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if rc == 0:
            passed += 1
        else:
            failed += 1
            print("fuzz target failed; artifacts in build/fuzz-corpus/", flush=True)
    totals.append(("fuzz", passed, failed, 0))


def java_tests(totals):
    script = REPO / "runtime/run-tests.sh"
    if not script.exists():
        return
    xml = RESULTS / "java.xml"
    xml.unlink(missing_ok=True)
    rc = run("Java-side tests", [str(script), str(xml)])
    p, f, s = junit_counts(xml)
    if rc != 0 and f == 0:
        f = 1
    totals.append(("java", p, f, s))


def maven_plugin_tests(totals):
    reports = REPO / "maven-plugin/target/surefire-reports"
    for old in reports.glob("TEST-*.xml"):
        old.unlink()
    rc = run("Maven plugin tests", ["mvn", "-B", "-q", "test"], cwd=REPO / "maven-plugin")
    counts = [junit_counts(x) for x in reports.glob("TEST-*.xml")] or [(0, 1, 0)]
    p, f, s = (sum(c[i] for c in counts) for i in range(3))
    if rc != 0 and f == 0:
        f = 1
    totals.append(("maven", p, f, s))


def pytest_stage(totals, name, title, directory):
    xml = RESULTS / f"{name}.xml"
    xml.unlink(missing_ok=True)
    rc = run(title, [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", directory, f"--junitxml={xml}"])
    p, f, s = junit_counts(xml)
    if rc not in (0, 5) and f == 0:
        f = 1
    totals.append((name, p, f, s))


def realvm_tests(totals):
    pytest_stage(totals, "realvm", "JNI launch code against a real Java VM", "tests/realvm")


def e2e_tests(totals):
    pytest_stage(totals, "e2e", "end-to-end tests under Wine", "tests/e2e")


def main():
    print(wine_host.describe(*wine_host.settle()), flush=True)
    RESULTS.mkdir(parents=True, exist_ok=True)
    totals = []
    unit_tests(totals)
    fuzz_tests(totals)
    java_tests(totals)
    maven_plugin_tests(totals)
    realvm_tests(totals)
    e2e_tests(totals)
    print()
    for name, p, f, s in totals:
        print(f"  {name:6} {p} passed, {f} failed, {s} skipped")
    passed = sum(t[1] for t in totals)
    failed = sum(t[2] for t in totals)
    skipped = sum(t[3] for t in totals)
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
