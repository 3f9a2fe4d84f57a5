#!/usr/bin/env bash
# Compiles the Java-side runtime library for Java 8 and later and writes it as a jar;
# with a source folder and a class path, another program against it (the sample application).
# Usage: runtime/build.sh OUT_JAR                            (e.g. build/zorvo-runtime.jar)
#        runtime/build.sh OUT_JAR SOURCE_DIR CLASS_PATH TITLE (e.g. build/hello.jar demo/hello ...)
set -euo pipefail

if [ $# -ne 1 ] && [ $# -ne 4 ]; then
  echo "usage: $0 OUT_JAR [SOURCE_DIR CLASS_PATH TITLE]" >&2
  exit 2
fi
for tool in javac jar; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: '$tool' not found; install a JDK (Debian: default-jdk-headless)" >&2
    exit 1
  fi
done

here="$(cd "$(dirname "$0")" && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

sources="${2:-$here/src}"
title="${4:-zorvo runtime}"
find "$sources" -name '*.java' | sort > "$work/sources"
mkdir "$work/classes"
# C1 only: javac on a small source set starts noticeably faster
javac -J-XX:TieredStopAtLevel=1 --release 8 -encoding UTF-8 -Xlint:all -cp "${3:-}" -d "$work/classes" @"$work/sources"

# The release's version goes into the manifest. The jar is the same bytes from
# the same sources: entries in sorted order, each with one fixed time
# (SOURCE_DATE_EPOCH when given, else the start of 2026).
version="$(head -n 1 "$here/../VERSION")"
printf 'Implementation-Title: %s\nImplementation-Version: %s\n' "$title" "$version" > "$work/manifest"
stamp="$(date -u -d "@${SOURCE_DATE_EPOCH:-1767225600}" +%Y-%m-%dT%H:%M:%SZ)"
entries=()
while IFS= read -r f; do entries+=(-C "$work/classes" "$f"); done < <(cd "$work/classes" && find . -type f | sort)
mkdir -p "$(dirname "$out")"
jar --create --file "$work/out.jar" --manifest "$work/manifest" --date "$stamp" "${entries[@]}"
mv -f "$work/out.jar" "$out"
