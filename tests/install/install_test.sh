#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under the prefix /usr and runs
# the installed programs from there: they must find libQMIMGLib.so through
# their RUNPATH, and every file of the desktop integration must be in place.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$dest/root cmake --install "$build" --prefix /usr >/dev/null
root=$dest/root
usr=$root/usr

for f in bin/trovelane bin/trovelane-cli lib/trovelane/libQMIMGLib.so \
         share/trovelane/default.prf share/trovelane/web.prf share/trovelane/research.prf \
         share/trovelane/banner.gif \
         share/applications/trovelane.desktop share/mime/packages/trovelane.xml \
         share/icons/hicolor/scalable/apps/trovelane.svg \
         share/icons/hicolor/48x48/apps/trovelane.png \
         share/icons/hicolor/256x256/apps/trovelane.png \
         share/man/man1/trovelane.1 share/man/man1/trovelane-cli.1 \
         share/doc/trovelane/README.md; do
  [ -e "$usr/$f" ] || fail "$f is not installed"
done
[ -d "$usr/lib/trovelane/plugins" ] || fail "the plug-in folder is not installed"
for size in 16 32 48 64 128 256; do
  kind=$(file "$usr/share/icons/hicolor/${size}x${size}/apps/trovelane.png")
  grep -q "$size x $size" <<<"$kind" ||
    fail "the ${size}x${size} icon has another size"
done

# The programs find the library in the installed tree, not in the build tree.
for program in trovelane trovelane-cli; do
  dynamic=$(readelf -d "$usr/bin/$program")
  grep -q 'RUNPATH.*\$ORIGIN/../lib/trovelane' <<<"$dynamic" ||
    fail "$program has no RUNPATH to its library folder"
  libraries=$(ldd "$usr/bin/$program")
  ! grep -q 'not found' <<<"$libraries" || fail "$program misses a library"
done
libraries=$(ldd "$usr/bin/trovelane")
grep -qF "libQMIMGLib.so => $usr/bin/../lib/trovelane/libQMIMGLib.so" <<<"$libraries" ||
  fail "trovelane does not load the installed libQMIMGLib.so"

version=$("$usr/bin/trovelane-cli" --version || true)
[ "$version" = "t r o v e l a n e version 2.52" ] || fail "trovelane-cli --version said: $version"
profiles=$("$usr/bin/trovelane-cli" --home "$dest/home" profiles)
grep -q Default <<<"$profiles" ||
  fail "the installed trovelane-cli does not list the default profile"

gui_version=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$dest "$usr/bin/trovelane" --version 2>/dev/null || true)
[ "$gui_version" = "trovelane 2.52" ] || fail "trovelane --version said: $gui_version"

# The desktop program starts (offscreen) with a fresh install folder: it
# prepares the folder and keeps running (it neither crashed nor gave up).
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$dest "$usr/bin/trovelane" --home "$dest/home2" \
  >"$dest/gui.log" 2>&1 &
gui=$!
for _ in $(seq 600); do
  [ -e "$dest/home2/qmkprfl.dat" ] && break
  kill -0 $gui 2>/dev/null || break
  sleep 0.2
done
sleep 1
if ! kill -0 $gui 2>/dev/null; then
  wait $gui && rc=0 || rc=$?
  cat "$dest/gui.log" >&2
  fail "trovelane ended with $rc at start"
fi
kill $gui
wait $gui 2>/dev/null || true
[ -e "$dest/home2/qmkprfl.dat" ] || fail "trovelane did not prepare its install folder"

# The MIME package gives *.qmk the results type; the desktop entry opens it.
if command -v update-mime-database >/dev/null; then
  cp -r "$usr/share/mime" "$dest/mime"
  update-mime-database "$dest/mime" >/dev/null 2>&1
  grep -q 'application/vnd.trovelane.results:\*\.qmk' "$dest/mime/globs2" ||
    fail "*.qmk is not mapped to application/vnd.trovelane.results"
  grep -q 'trovelane Results' "$dest/mime/application/vnd.trovelane.results.xml" ||
    fail "the type has no comment"
fi
grep -q '^MimeType=application/vnd.trovelane.results;$' "$usr/share/applications/trovelane.desktop" ||
  fail "the desktop entry does not open results documents"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/trovelane.desktop" || fail "invalid desktop entry"
fi

# Man pages render without warnings.
for page in trovelane trovelane-cli; do
  warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
# The plug-in kit: the example plug-in built from the installed copy against
# the installed header, found through pkg-config alone, then searched by the
# installed program over the sample engines' directory site.
for f in include/trovelane/plugin_api.h share/doc/trovelane/plugin-example/example_plugin.c \
         share/doc/trovelane/docs/site_plugins.md; do
  [ -e "$usr/$f" ] || fail "$f is not installed"
done
pc=$(find "$usr/lib" -name trovelane-plugin.pc | head -n 1)
[ -n "$pc" ] || fail "trovelane-plugin.pc is not installed"
cflags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags trovelane-plugin) ||
  fail "pkg-config does not read trovelane-plugin.pc"
# shellcheck disable=SC2086 # the flags are words
cc -std=c99 -Wall -Wextra -Werror -shared -fPIC -fvisibility=hidden \
  -o "$dest/example_plugin.so" "$usr/share/doc/trovelane/plugin-example/example_plugin.c" $cflags ||
  fail "the example plug-in does not build against the installed header"
"$build/tools/sample_engines/trovelane-sample-engines" --port-file "$dest/port" \
  --plugin-sites "$dest/sites" --lifetime 120 >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$dest"' EXIT
for _ in $(seq 300); do
  [ -s "$dest/port" ] && break
  sleep 0.1
done
[ -s "$dest/port" ] || fail "the sample engines did not start"
home=$dest/home3
"$usr/bin/trovelane-cli" --home "$home" engines add-plugin "$dest/example_plugin.so" >/dev/null ||
  fail "engines add-plugin refused the example plug-in"
cp "$dest/sites/plgpages.site" "$home/plugins/example_plugin.site"
"$usr/bin/trovelane-cli" --home "$home" search --engine "Example Directory" --format tsv \
  --max 1000 lantern >"$dest/found.tsv" 2>"$dest/search.err" ||
  { cat "$dest/search.err" >&2; fail "the search with the example plug-in failed"; }
found=$(grep -c "^[0-9]*	http://127.0.0.1:" "$dest/found.tsv" || true)
[ "$found" -gt 0 ] || { cat "$dest/search.err" >&2; fail "the example plug-in found $found results"; }
grep -q ', done$' "$dest/search.err" ||
  { cat "$dest/search.err" >&2; fail "the example plug-in did not end done"; }
kill $server
wait $server 2>/dev/null || true

echo "install test passed"
