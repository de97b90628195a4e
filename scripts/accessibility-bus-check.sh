#!/usr/bin/env bash
# Drives the window under Xvfb with the keyboard alone (Ctrl+O, the folder typed into the
# picker, Tab, a keyword, Enter) and prints what the accessibility bus (AT-SPI) reads of it:
# the buttons' names and descriptions, both lists and the result rows.
# Needs: xvfb xdotool at-spi2-core python3-pyatspi (QUILLMARK_WITH_FIXTURE_TOOLS=1 scripts/install-deps.sh)
# Usage: scripts/accessibility-bus-check.sh [folder] [keyword]     (after a build into build/)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
folder="$(cd "${1:-$here/examples}" && pwd)/"
keyword="${2:-Berlin}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/read.py" <<'PY'
import pyatspi
def walk(node, depth=0):
    role, name, about = node.getRoleName(), node.name, node.description
    if role != 'scroll bar':
        print('  ' * depth + f'[{role}] {name!r}' + (f' - {about!r}' if about else ''))
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child: walk(child, depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == 'quillmark':
        for index in range(app.childCount):
            if app.getChildAtIndex(index).name == 'Form1': walk(app.getChildAtIndex(index))
PY

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$here/build/app/quillmark" & app=\$!
sleep 2
window=\$(xdotool search --name Form1 | head -1)   # no window manager: focus it by hand
xdotool windowactivate --sync "\$window" 2>/dev/null || true
xdotool windowfocus --sync "\$window"; sleep 0.5
xdotool key ctrl+o; sleep 1.5
xdotool key ctrl+a; xdotool type --delay 20 "${folder}Select a folder"; sleep 1; xdotool key Return; sleep 2
xdotool key Tab; xdotool type --delay 30 "$keyword"; xdotool key Return; sleep 3
/usr/bin/python3 "$work/read.py"
kill \$app
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$work/session.sh" 2>/dev/null
