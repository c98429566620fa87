#!/usr/bin/env bash
# Installs a built tree into a scratch root and builds its Debian package, then
# checks what lands where, that the installed program finds its help pages in
# share/, and the package's file list and dependencies.
# Usage: check-package.sh <build folder> <application id>
set -euo pipefail
build=$(cd "$1" && pwd)
id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

expected=(
    usr/bin/duesmith
    usr/share/duesmith/newsched.DB
    usr/share/duesmith/newage.db
    usr/share/duesmith/newpayee.DB
    usr/share/duesmith/ds_help/index.hta
    usr/share/duesmith/ds_help/schedule_screen.hta
    "usr/share/applications/$id.desktop"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    "usr/share/metainfo/$id.metainfo.xml"
    usr/share/systemd/user/duesmith-notify.service
    usr/share/systemd/user/duesmith-notify.timer
    usr/share/duesmith/autostart/duesmith-notify.desktop
)
for f in "${expected[@]}"; do
    [[ -f $root/$f ]] || fail "not installed: $f"
done
[[ -x $root/usr/bin/duesmith ]] || fail "usr/bin/duesmith is not executable"
# The window module, in the library folder the program looks in.
module=$(cd "$root" && find usr/lib* -name duesmith-window.so -path '*/duesmith/*' | head -1)
[[ -n $module ]] || fail "the window module is not installed in usr/lib*/duesmith/"
extra=$(cd "$root/usr/bin" && ls | grep -vx duesmith || true)
[[ -z $extra ]] || fail "unexpected programs in bin/: $extra"

appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null \
    || fail "appstreamcli rejects the metainfo"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "bad desktop entry"
fi
grep -qx 'Categories=Office;Finance;' "$root/usr/share/applications/$id.desktop" \
    || fail "desktop entry categories"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/duesmith/autostart/duesmith-notify.desktop" \
        || fail "bad autostart entry"
fi
grep -qx 'Exec=duesmith --notify' "$root/usr/share/duesmith/autostart/duesmith-notify.desktop" \
    || fail "autostart entry does not run duesmith --notify"
grep -qx 'WantedBy=timers.target' "$root/usr/share/systemd/user/duesmith-notify.timer" \
    || fail "timer cannot be enabled"

# The installed program, started from elsewhere, names its help from share/.
help=$(cd "$work" && env -u DS_PROGRAM_DIR "$root/usr/bin/duesmith" --help)
grep -qF "$root/usr/share/duesmith/ds_help/index.hta" <<<"$help" \
    || fail "installed program does not find its help in share/: $help"

# The package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/pkg/duesmith_*.deb)
[[ -f ${debs[0]} ]] || fail "no package built"
deb=${debs[0]}
list=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in "${expected[@]}" "$module"; do
    grep -qx "./$f" <<<"$list" || fail "package lacks $f"
done
[[ $(dpkg-deb -f "$deb" Package) == duesmith ]] || fail "package name"
# The packaged service starts the packaged program.
unit=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/systemd/user/duesmith-notify.service)
grep -qx 'ExecStart=/usr/bin/duesmith --notify' <<<"$unit" \
    || fail "packaged service does not start /usr/bin/duesmith: $unit"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(sed -E 's/\([^)]*\)//g; s/[|,]/ /g' <<<"$depends" | tr -s ' ' '\n')
for d in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsqlite3-0 qt6-qpa-plugins; do
    grep -qxF "$d" <<<"$names" || fail "dependency $d missing from: $depends"
done
# Every dependency is a package this system knows.
for d in $names; do
    dpkg-query -W "$d" >/dev/null 2>&1 || fail "dependency $d is not a Debian package here"
done
echo "package ok: $(basename "$deb")"
echo "Depends: $depends"
