#!/usr/bin/env bash
# Drives the window under Xvfb with the keyboard alone (Ctrl+O, the folder typed into the
# picker, Tab, a keyword, Enter) and prints what the accessibility bus (AT-SPI) reads of it:
# the buttons' names and descriptions, both lists, the boxes' text and the result rows; it
# fails unless the keyword box holds the keyword, rows were read and all five buttons named.
# Needs: xvfb xdotool at-spi2-core python3-pyatspi (QUILLMARK_WITH_FIXTURE_TOOLS=1 scripts/install-deps.sh)
# Usage: scripts/accessibility-bus-check.sh [folder] [keyword]     (after a build into build/)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
folder="$(cd "${1:-$here/examples}" && pwd)/"
keyword="${2:-Berlin}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/read.py" <<'PY'
import sys, pyatspi
keyword = sys.argv[1]
found = {'buttons': set(), 'rows': 0, 'keyword': None}
def walk(node, depth=0):
    role, name, about = node.getRoleName(), node.name, node.description
    if role == 'scroll bar': return
    line = '  ' * depth + f'[{role}] {name!r}' + (f' - {about!r}' if about else '')
    if role == 'text':  # what the box holds, as a screen reader reads it
        text = node.queryText()
        value = text.getText(0, text.characterCount)
        line += f' = {value!r}'
        if name == 'Keyword': found['keyword'] = value
    if not node.getState().contains(pyatspi.STATE_SHOWING): line += ' (hidden)'
    print(line)
    if role == 'push button': found['buttons'].add(name)
    if role == 'table cell': found['rows'] += 1
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child: walk(child, depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == 'quillmark':
        for index in range(app.childCount):
            if app.getChildAtIndex(index).name == 'Form1': walk(app.getChildAtIndex(index))
wanted = {'Choose folder', 'Search', 'Stop', 'Menu', 'Close'}
problems = []
if found['buttons'] != wanted: problems.append(f'buttons {sorted(found["buttons"])}')
if found['keyword'] != keyword: problems.append(f'keyword box holds {found["keyword"]!r}')
if found['rows'] == 0: problems.append('no result rows')
print('FAILED: ' + '; '.join(problems) if problems else
      f'OK: keyword {keyword!r} typed, {found["rows"] // 2} result rows and all five buttons read')
sys.exit(1 if problems else 0)
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
/usr/bin/python3 "$work/read.py" "$keyword"; status=\$?
kill \$app
exit \$status
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$work/session.sh" 2>/dev/null
