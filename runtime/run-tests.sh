#!/usr/bin/env bash
# Builds the runtime library and its tests, runs the tests and writes a JUnit-style XML report.
# Usage: runtime/run-tests.sh XML_OUT    Exit code 0 only when every test passed.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 XML_OUT" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
xml="$1"
mkdir -p "$(dirname "$xml")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A build that fails still leaves a report, with one error.
build_failed() {
  cat > "$xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<testsuites>
  <testsuite name="runtime.build" tests="1" failures="0" errors="1" skipped="0">
    <testcase classname="runtime.build" name="$1"><error message="$1 failed"/></testcase>
  </testsuite>
</testsuites>
XML
  echo "$0: $1 failed" >&2
  exit 1
}

"$here/build.sh" "$work/zorvo-runtime.jar" || build_failed "build of the runtime library"

find "$here/test" -name '*.java' | sort > "$work/sources"
mkdir "$work/test-classes"
javac -J-XX:TieredStopAtLevel=1 --release 8 -encoding UTF-8 -Xlint:all,-processing -cp "$work/zorvo-runtime.jar" \
  -d "$work/test-classes" @"$work/sources" || build_failed "build of the tests"

# Test classes are the files named <Something>Test.java.
tests=()
while IFS= read -r f; do
  rel="${f#"$here/test/"}"
  tests+=("$(echo "${rel%.java}" | tr / .)")
done < <(find "$here/test" -name '?*Test.java' | sort)

java -XX:TieredStopAtLevel=1 -Dzorvo.testData="$here/../tests/data" -cp "$work/zorvo-runtime.jar:$work/test-classes" \
  testkit.TestRunner "$xml" "${tests[@]}"
