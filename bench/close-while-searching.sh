#!/usr/bin/env bash
# Drives the window under Xvfb while it searches one large workbook (a text export of
# QUILLMARK_CLOSE_MB megabytes, default 3072, named *xls*, made in a temporary folder): the
# folder chosen and the search started from the keyboard, the window dragged by its caption
# mid-search, then the Close button clicked. Prints how far the window moved and how long the
# program took to exit after the click, and how busy it was just before (the search running).
# Needs: xvfb xdotool at-spi2-core python3-pyatspi (QUILLMARK_WITH_FIXTURE_TOOLS=1 scripts/install-deps.sh)
# Usage: bench/close-while-searching.sh [BUILD_DIR]     (after a build; default build/)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/folder"
{ yes $'export\tcolumn b\t12345.678\tsome longer text in a cell\tQ3' || true; } |
    head -c $((${QUILLMARK_CLOSE_MB:-3072} * 1024 * 1024)) >"$work/folder/large_export.xls"

cat > "$work/close.py" <<'PY'
# Prints the Close button's centre in screen coordinates, as the accessibility bus reports it.
import pyatspi
def find(node):
    if node.getRoleName() == 'push button' and node.name == 'Close':
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x + box.width // 2, box.y + box.height // 2); return True
    return any(find(node.getChildAtIndex(i)) for i in range(node.childCount) if node.getChildAtIndex(i))
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == 'quillmark' and find(app): break
PY

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/app/quillmark" & app=\$!
sleep 2
window=\$(xdotool search --name Form1 | head -1)
xdotool windowfocus --sync "\$window"; sleep 0.5
read -r close_x close_y < <(/usr/bin/python3 "$work/close.py")
xdotool key ctrl+o; sleep 1.5
xdotool key ctrl+a; xdotool type --delay 20 "$work/folder/Select a folder"; sleep 1; xdotool key Return; sleep 1
xdotool key Tab; xdotool type --delay 30 "absent-keyword"; xdotool key Return; sleep 1
eval "\$(xdotool getwindowgeometry --shell "\$window")"; before_x=\$X before_y=\$Y
xdotool mousemove \$((X + 150)) \$((Y + 12)) mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove_relative -- 20 10; sleep 0.1; done
xdotool mouseup 1; sleep 0.3
eval "\$(xdotool getwindowgeometry --shell "\$window")"
echo "dragged mid-search: window moved by \$((X - before_x)),\$((Y - before_y)) pixels"
close_x=\$((close_x + X - before_x)); close_y=\$((close_y + Y - before_y))
ticks() { awk '{ print \$14 + \$15 }' /proc/\$app/stat; }
busy_from=\$(ticks); sleep 0.5; busy_to=\$(ticks)
echo "the search is running: \$(( (busy_to - busy_from) * 100 / \$(getconf CLK_TCK) * 2 ))% of a core in the half second before the click"
started=\$(date +%s%N)
xdotool mousemove "\$close_x" "\$close_y" click 1
while kill -0 \$app 2>/dev/null; do sleep 0.005; done
echo "exit after the Close click: \$(( (\$(date +%s%N) - started) / 1000000 )) ms"
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$work/session.sh" 2>/dev/null
