#!/usr/bin/env bash
# Turns the generic launcher into a sample application's launcher and runs it
# under Wine, showing what happens.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/demo
mkdir -p "$out"
export WINEPREFIX="$PWD/$out/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating a Wine prefix for the demo (once) =="
  wineboot -i >/dev/null 2>&1
fi

echo "== laying out a sample Java runtime beside it (made of the test doubles) =="
rt="$out/jre"
mkdir -p "$rt/bin/client"
cp build/win32/testvm/java.exe build/win32/testvm/javaw.exe "$rt/bin/"
cp build/win32/testvm/jvm.dll "$rt/bin/client/"
echo 'java version "1.8.0_202"' > "$rt/bin/version.txt"
ls -R "$rt" | sed 's/^/   /'

echo
echo "== stamping the sample application's launcher =="
build/host/zorvo-build --launcher build/win32/launcher.exe --config demo/sample-app.conf --out "$out/SampleApp.exe"
ls -l build/win32/launcher.exe "$out/SampleApp.exe"

echo
echo "== its configuration block, read back =="
build/host/zorvo-build --dump "$out/SampleApp.exe" | head -n 20
echo "   ..."

echo
if [ -n "${DISPLAY:-}" ]; then
  echo "== running SampleApp.exe on $DISPLAY (close the message box to go on) =="
  set +e; wine "$out/SampleApp.exe" demo-arg </dev/null; code=$?; set -e
else
  echo "== running SampleApp.exe (no display: -q_qbk_internal sends its messages here) =="
  set +e; wine "$out/SampleApp.exe" -q_qbk_internal demo-arg </dev/null; code=$?; set -e
fi
echo
echo "exit code: $code"
case $code in
  83) echo "The launcher read its configuration, ran its start-up stages and found no usable Java runtime:"
      echo "it reported the configured message and ended with exit code 83." ;;
  0)  echo "The application ran and ended normally." ;;
  1)  echo "The launcher found the sample runtime (jre\\bin\\javaw.exe, version 1.8.0_202, cached in the"
      echo "registry), loaded its jvm.dll and bound JNI_CreateJavaVM. Creating the VM is the next stage"
      echo "to be built, so it reported message 1005 and ended with exit code 1." ;;
  *)  echo "The launcher reported an error (exit code $code)." ;;
esac
wineserver -k 2>/dev/null || true
