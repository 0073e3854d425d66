#!/usr/bin/env bash
# Renders every window of the program (main window and its menu, settings, folder picker, manual
# run, each link-rule list and edit screen, mail window, choice dialog) into a PNG for review,
# under a virtual X server of its own. The windows are filled from a temporary embedded server
# and settings file that the program sets up itself; nothing of the user's is read or changed.
#
#   bash scripts/screenshots.sh              builds in build/ (preset "default") when needed
#   bash scripts/screenshots.sh BUILD_DIR    uses (and configures, when needed) that build folder
#
# The PNGs go to build/screenshots/, one per window, named after the window.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz="$PWD"

pasta="${1:-build}"
[[ "$pasta" = /* ]] || pasta="$raiz/$pasta"
saida="$raiz/build/screenshots"

command -v Xvfb >/dev/null || { echo "screenshots: Xvfb is needed (bash scripts/install-deps.sh)" >&2; exit 1; }

if [[ ! -f "$pasta/build.ninja" ]]; then
    if [[ "$pasta" = "$raiz/build" ]]; then
        cmake --preset default >/dev/null
    else
        cmake -S "$raiz" -B "$pasta" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
fi
cmake --build "$pasta" --target velmora_screenshots
programa="$pasta/tools/screenshots/velmora_screenshots"

# A display number nobody uses: no lock file, no socket. Another X server may still take the
# same number first, so a server that does not come up is retried on the next number.
xvfb_pid=""
parar() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}
trap parar EXIT
trap 'exit 130' INT TERM

ecra=""
for n in $(seq 99 199); do
    [[ -e "/tmp/.X$n-lock" || -e "/tmp/.X11-unix/X$n" ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
        [[ -S "/tmp/.X11-unix/X$n" ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [[ -S "/tmp/.X11-unix/X$n" ]]; then
        ecra=":$n"
        break
    fi
    parar
done
[[ -n "$ecra" ]] || { echo "screenshots: no X display could be started" >&2; exit 1; }

rm -rf "$saida"
mkdir -p "$saida"
echo "screenshots: Xvfb on $ecra"
estado=0
# A window that never closes would hold the run: it gets five minutes at most.
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb DISPLAY="$ecra" timeout 300 "$programa" "$saida" || estado=$?
parar
echo "screenshots: $(find "$saida" -name '*.png' | wc -l) PNG(s) in $saida"
exit "$estado"
