#!/usr/bin/env bash
# Runs a Windows test program under Wine: a private prefix inside the build tree (made once),
# the loader that matches the program (32- or 64-bit), and an X server of its own unless the
# caller already provides one. Exits 77 (a skipped test for CTest) when Wine or, without a
# DISPLAY, xvfb-run is not installed. With VL_WINE_DPI set, the prefix is one of its own whose
# screen has that many dots per inch (LogPixels), for the tests of scaled screens. The prefixes
# map the window's Japanese face to the installed Japanese Gothic, except with VL_WINE_PLAIN set:
# a prefix of its own as Wine makes it, for the test of a Windows without that face.
set -euo pipefail
build=$1; exe=$2; shift 2
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix${VL_WINE_DPI:+-dpi$VL_WINE_DPI}${VL_WINE_PLAIN:+-plain}}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A 32-bit program needs 32-bit Wine; a 64-bit one, or a Wine builtin such as cmd, goes to
# wine64 where it is installed.
if [ -f "$exe" ] && file -b "$exe" | grep -q 'PE32 '; then
  wine=wine
elif [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi
if ! command -v "$wine" >/dev/null; then
  echo "wine-run: Wine is not installed: skipped" >&2
  exit 77
fi
if [ -z "${DISPLAY:-}" ] && ! command -v xvfb-run >/dev/null; then
  echo "wine-run: no DISPLAY and xvfb-run is not installed: skipped" >&2
  exit 77
fi
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.vl-ready" ]; then
    # The lock's descriptor must not live on in Wine's background processes.
    if "$wine" wineboot -i >/dev/null 2>&1 9>&-; then
      if [ -z "${VL_WINE_PLAIN:-}" ]; then
        "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAPGothic /f >/dev/null 2>&1 9>&- || true
      fi
      if [ -n "${VL_WINE_DPI:-}" ]; then
        "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VL_WINE_DPI" /f >/dev/null 2>&1 9>&- || true
      fi
      wineserver -w 9>&- || true
      touch "$WINEPREFIX/.vl-ready"
    else
      echo "wine-run: could not make the Wine prefix $WINEPREFIX" >&2
    fi
  fi
) 9>"$WINEPREFIX.lock"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$wine" "$exe" "$@"
fi
exec "$wine" "$exe" "$@"
