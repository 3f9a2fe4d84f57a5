#!/usr/bin/env bash
# Turns each generic launcher (32-bit and 64-bit) into a sample application's
# launcher and runs it under Wine with a sample runtime of its architecture,
# showing what happens.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/demo
mkdir -p "$out"
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

# Where the host runs no 32-bit programs (or ZORVO_HOST_32BIT=0 says so), only
# the 64-bit part runs, and every Wine program is started by the 64-bit loader.
host32=1
host=$(/usr/bin/python3 tools/wine_host.py) || host32=0
echo "== $host =="
export ZORVO_HOST_32BIT=$host32
PATH=$(/usr/bin/python3 tools/wine_host.py --shadow-path) || true
export PATH
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
# Wine programs start with the Linux side's address randomisation off (see tools/wine_host.py).
read -r -a no_randomize <<<"$(/usr/bin/python3 tools/wine_host.py --no-randomize)"

# wine_setup WHAT COMMAND...: a set-up step whose output is shown only when it fails.
wine_setup() {
  local what=$1 log="$out/wine-setup.log"
  shift
  if ! "$@" >"$log" 2>&1; then
    echo "$what failed: $*" >&2
    cat "$log" >&2
    return 1
  fi
}

own_xvfb=
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  number=95
  while [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  own_xvfb=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.05; done
  export DISPLAY=":$number"
  echo "== no display: running on a virtual one ($DISPLAY, 1024 x 768) =="
fi

# The test VM plays the application's start: its controller hands the splash
# two status texts and then closes it, while main works for four seconds.
export ZORVO_TESTVM_CONTROLLER='8*0;2:Loading the sample modules ...;10*0;2:Opening the main window ...;12*0;1'
export ZORVO_TESTVM_MAIN_SLEEP_MS=4000

# Prints what the test jvm.dll logged.
show_log() {
  /usr/bin/python3 - "$1" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    if r.get("call") == "exec":
        print(f"  version probe: {r.get('cmdline')}")
    elif r.get("call") == "JNI_CreateJavaVM":
        print(f"  JNI_CreateJavaVM, version {r['version']:#x}, options:")
        for o in r["options"]:
            print(f"    {o}")
    elif r.get("call") == "main":
        print("  com.zorvo.runtime.WinLauncher.main(String[]) with:")
        for i, a in enumerate(r["args"]):
            print(f"    [{i}] {a!r}")
    elif r.get("call") == "CallStaticObjectMethod" and r.get("method") == "getText" and r.get("resultText"):
        print(f"  splash status text from ZorvoController.getText(): {r['resultText']!r}")
    elif r.get("call") == "DetachCurrentThread":
        print("  the splash closed (ZorvoController.getAction() answered 1); its thread detached")
    elif r.get("call") == "DestroyJavaVM":
        print("  DestroyJavaVM: the application's last thread ended")
PY
}

# demo_launcher win32|win64: the sample application with that launcher.
demo_launcher() {
  local arch=$1 bits=${1#win}
  local dir="$out/$arch" wine=wine
  [ "$arch" = win64 ] && wine=$WINE64
  mkdir -p "$dir"
  echo
  echo "################ the ${bits}-bit launcher (build/$arch/launcher.exe) ################"
  export WINEPREFIX="$PWD/$dir/wineprefix" WINEARCH=$arch
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating a ${bits}-bit Wine prefix for the demo (once) =="
    wine_setup "creating the Wine prefix $WINEPREFIX" "${no_randomize[@]}" "$wine" wineboot -i
  fi

  echo "== laying out a sample ${bits}-bit Java runtime beside it (made of the test doubles) =="
  local rt="$dir/jre"
  mkdir -p "$rt/bin/client"
  cp "build/$arch/testvm/java.exe" "build/$arch/testvm/javaw.exe" "$rt/bin/"
  cp "build/$arch/testvm/jvm.dll" "$rt/bin/client/"
  echo 'java version "1.8.0_202"' > "$rt/bin/version.txt"
  ls -R "$rt" | sed 's/^/   /'
  mkdir -p "$dir/lib"
  cp build/zorvo-runtime.jar "$dir/lib/"
  printf -- '-Dfrom.vmoptions=yes\r\n' > "$dir/SampleApp.exe.vmoptions"

  echo
  echo "== stamping the sample application's launcher =="
  build/host/zorvo-build --launcher "build/$arch/launcher.exe" --config demo/sample-app.conf --out "$dir/SampleApp.exe"
  ls -l "build/$arch/launcher.exe" "$dir/SampleApp.exe"

  echo
  echo "== its configuration block, read back =="
  build/host/zorvo-build --dump "$dir/SampleApp.exe" | head -n 8
  echo "   ..."
  build/host/zorvo-build --dump "$dir/SampleApp.exe" | grep -E '^(# The application|# icon:|# splash image:|product-name |file-version |execution-level |dpi-aware )' || true

  echo
  echo "== what Windows reads from its resources (the Properties page, Explorer's icon) =="
  "${no_randomize[@]}" "$wine" "build/$arch/testvm/resinfo.exe" "$dir/SampleApp.exe" | tr -d '\r' | sed 's/^/   /'

  echo
  local log="$PWD/$dir/vm-log.jsonl"
  rm -f "$log"
  export ZORVO_TESTVM_LOG="$log"
  local shot="$PWD/$dir/splash.png" trace="$PWD/$dir/trace.txt" code
  rm -f "$shot" "$trace"
  if [ -n "${DISPLAY:-}" ]; then
    echo "== running SampleApp.exe on $DISPLAY (the splash shows for about three seconds) =="
    # A picture of the splash once its first status text is up.
    ( sleep 2; import -display "$DISPLAY" -window root -crop 540x399+242+184 +repage "$shot" 2>/dev/null || true ) &
    local shooter=$!
    set +e; ZORVO_TRACE="$trace" timeout 60 "${no_randomize[@]}" "$wine" "$dir/SampleApp.exe" demo-arg "two words" </dev/null; code=$?; set -e
    wait "$shooter"
    [ -f "$shot" ] && echo "   a screenshot of the splash (centred on a 1024 x 768 screen): $shot"
  else
    echo "== running SampleApp.exe (no display: -q_qbk_internal sends any message here) =="
    set +e; ZORVO_TRACE="$trace" "${no_randomize[@]}" "$wine" "$dir/SampleApp.exe" -q_qbk_internal demo-arg "two words" </dev/null; code=$?; set -e
  fi
  if [ -f "$log" ]; then
    echo
    echo "== what the ${bits}-bit Java runtime saw (logged by the test jvm.dll) =="
    show_log "$log"
  fi
  if [ -f "$trace" ]; then
    echo
    echo "== the launch trace (ZORVO_TRACE=$trace) =="
    sed 's/^/  /' "$trace"
  fi
  echo
  echo "exit code: $code"
  case $code in
    83) echo "The launcher read its configuration, ran its start-up stages and found no usable Java runtime:"
        echo "it reported the configured message and ended with exit code 83." ;;
    0)  echo "The ${bits}-bit launcher showed the sample splash (its status line changed twice, then it"
        echo "closed), found the sample ${bits}-bit runtime (jre\\bin\\javaw.exe, version 1.8.0_202, cached"
        echo "in the registry), loaded its jvm.dll, created the VM with the options above and called the"
        echo "launcher class with the five fixed arguments, the configured and the command-line arguments;"
        echo "main returned, the VM was destroyed and the launcher ended with exit code 0." ;;
    *)  echo "The launcher reported an error (exit code $code)." ;;
  esac
  wineserver -k 2>/dev/null || true
}

if [ "$host32" = 1 ]; then
  demo_launcher win32
else
  echo
  echo "== the 32-bit part is left out: this host runs no 32-bit programs =="
fi
demo_launcher win64
[ -n "$own_xvfb" ] && kill "$own_xvfb" 2>/dev/null || true
