#!/usr/bin/env bash
# A search in the real window, as a person makes it, on a virtual X server:
# install the build into a temporary folder, start the installed trovelane
# with a fresh install folder whose current profile is the
# sample engines, type an expression into the expression box, press Enter,
# wait for the end of the search, save the document through the file dialog,
# and compare the saved URLs with trovelane-cli's search for the expression.
#
#   xvfb_search_test.sh BUILD_DIR [--screenshot FILE.png]
#
# With --screenshot it also writes a picture of the window after the search
# (scripts/screenshot uses this). Every wait is bounded; nothing depends on
# how fast the machine is.
set -euo pipefail

build=$(cd "$1" && pwd)
shift
screenshot=
if [ "${1:-}" = "--screenshot" ]; then screenshot=$(realpath -m "$2"); shift 2; fi

# Re-run under a virtual X server unless this is that run.
if [ -z "${TROVELANE_XVFB_INNER:-}" ]; then
  export TROVELANE_XVFB_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x900x24 -nolisten tcp" "$0" "$build" \
    ${screenshot:+--screenshot "$screenshot"}
fi

engines=$build/tools/sample_engines/trovelane-sample-engines
expression="lantern river"

tmp=$(mktemp -d)
server_pid=
gui_pid=
cleanup() {
  for pid in $gui_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -s "$tmp/gui.log" ] && { echo "--- trovelane's output:" >&2; tail -n 40 "$tmp/gui.log" >&2; }
  exit 1
}

# wait_for SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# The programs as a user has them: installed.
DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install failed"
gui=$tmp/root/usr/bin/trovelane
cli=$tmp/root/usr/bin/trovelane-cli

# The sample engines on loopback; they stop by themselves after ten minutes.
"$engines" --port-file "$tmp/port" --profile "$tmp/sample.prf" --lifetime 600 \
  >/dev/null 2>&1 &
server_pid=$!
wait_for 60 test -s "$tmp/port" || fail "the sample engines did not start"

# A fresh install folder whose current profile is the sample engines.
home=$tmp/home
"$cli" --home "$home" settings set results.max 1000 >/dev/null
printf '%s\nSample engines\t%s\n' "$tmp/sample.prf" "$tmp/sample.prf" >"$home/qmkprfl.dat"

# The program writes each text of its message pane to its log.
export QT_LOGGING_RULES="trovelane.status.info=true"
export XDG_RUNTIME_DIR=$tmp
# The window habits (size, history) go to the test's folder, not the user's.
export XDG_CONFIG_HOME=$tmp/config
"$gui" --home "$home" >"$tmp/gui.log" 2>&1 &
gui_pid=$!

main_window() { xdotool search --all --onlyvisible --pid "$gui_pid" --class '^trovelane$' 2>/dev/null | head -n 1 || true; }
has_main_window() { [ -n "$(main_window)" ]; }
wait_for 120 has_main_window || fail "the window did not appear"
window=$(main_window)
# A picture for the README shows more than the smallest window.
[ -z "$screenshot" ] || xdotool windowsize "$window" 1000 640
# No window manager runs here: give the window the input focus ourselves.
# The expression box has the keyboard focus inside the window from the start.
# Keys sent before the program has taken the focus are lost, so the search
# is typed again (over the old text) until the message pane shows that it runs.
search_started() { grep -q 'status: [0-9]* Results\? Found !' "$tmp/gui.log"; }
started=
for attempt in 1 2 3 4 5; do
  xdotool windowfocus --sync "$window"
  # Select what an earlier attempt typed (Ctrl+A is the list's Select All).
  xdotool key End shift+Home
  xdotool type --delay 40 "$expression"
  xdotool key Return
  if wait_for 30 search_started; then started=1; break; fi
done
[ -n "$started" ] || fail "the search did not start"

# The search has ended when Save is available again (it is disabled while a
# search runs): press Ctrl+S until the file dialog opens.
save_dialog() { xdotool search --all --onlyvisible --pid "$gui_pid" --name '^Save As$' 2>/dev/null | head -n 1 || true; }
has_save_dialog() { [ -n "$(save_dialog)" ]; }
no_save_dialog() { [ -z "$(save_dialog)" ]; }
deadline=$((SECONDS + 300))
dialog=
while [ -z "$dialog" ]; do
  [ $SECONDS -lt $deadline ] || fail "the search did not end, or Save did not open its dialog"
  kill -0 "$gui_pid" 2>/dev/null || fail "trovelane ended"
  xdotool windowfocus --sync "$window" key ctrl+s
  wait_for 10 has_save_dialog || true
  dialog=$(save_dialog)
done

status=$(grep -o '[0-9]* Results\? Found !' "$tmp/gui.log" | tail -n 1 || true)
[ -n "$status" ] || fail "the message pane never read \"N Results Found !\""
found=${status%% *}

if [ -n "$screenshot" ]; then
  # The picture shows the window after the search, not the dialog over it:
  # take it, then bring the dialog back.
  xdotool windowfocus --sync "$dialog" key Escape
  wait_for 30 no_save_dialog || fail "the dialog did not close"
  sleep 1  # let the last repaint land
  import -window "$window" "$screenshot"
  xdotool windowfocus --sync "$window" key ctrl+s
  wait_for 30 has_save_dialog || fail "the dialog did not open again"
  dialog=$(save_dialog)
fi

# The file name box has the focus in the dialog: type the path and press Enter.
saved=$tmp/saved.qmk
xdotool windowfocus --sync "$dialog"
xdotool key End shift+Home
xdotool type --delay 20 "$saved"
xdotool key Return
wait_for 60 test -s "$saved" || fail "the document was not saved"
wait_for 60 no_save_dialog || fail "the dialog did not close"

"$cli" open --format tsv "$saved" | awk -F'\t' '$1 ~ /^[0-9]+$/ {print $2}' | sort >"$tmp/gui.urls"
"$cli" --home "$home" search --profile "$tmp/sample.prf" --format tsv $expression |
  awk -F'\t' '$1 ~ /^[0-9]+$/ {print $2}' | sort >"$tmp/cli.urls"

gui_count=$(wc -l <"$tmp/gui.urls")
[ "$gui_count" -gt 0 ] || fail "the saved document holds no results"
[ "$gui_count" -eq "$found" ] || fail "the pane read \"$status\" but the document holds $gui_count"
diff -u "$tmp/cli.urls" "$tmp/gui.urls" >&2 || fail "the window's results differ from trovelane-cli's"
echo "xvfb search test passed: $found results, the same as trovelane-cli's"
