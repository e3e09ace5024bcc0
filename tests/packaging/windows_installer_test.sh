#!/usr/bin/env bash
# The Windows installer (tools/build-windows.sh), installed and uninstalled
# silently under Wine in a prefix made afresh for it, never the test binaries'
# prefix nor ~/.wine: the files, the Start-menu entry and the uninstaller's
# registry key appear and go again, and the installed article-query.exe
# answers queries on a database the writer makes. What the build put in the
# installer comes from BUILD_DIR/installer.txt. The prefix is left behind
# when a check fails, for a look inside.
#
#   windows_installer_test.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C.UTF-8

build=$(realpath "$1")

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -f "$build/installer.txt" ] || fail "no $build/installer.txt: run tools/build-windows.sh first"
declare -A manifest
while IFS='=' read -r key value; do
    [ -n "$key" ] && manifest[$key]=$value
done <"$build/installer.txt"
installer=$build/${manifest[installer]}
[ -f "$installer" ] || fail "no installer $installer"

export WINEPREFIX=$build/installer-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# No persistent server: `wineserver -w` then waits for every process of the
# prefix, the uninstaller's copy of itself included.
trap 'wineserver -k 2>/dev/null || true' EXIT

# A set-up has been seen to stop half-way under load; the second try starts
# from nothing as well.
for attempt in 1 2; do
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    if wineboot -i </dev/null >"$build/installer-wineboot.log" 2>&1; then
        break
    fi
    cat "$build/installer-wineboot.log" >&2
    ((attempt < 2)) || fail "the Wine prefix could not be made"
done
wineserver -w
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

drive_c=$WINEPREFIX/drive_c
folder=${manifest[folder]}
installed=$drive_c/Program\ Files/$folder
windows_folder="C:\\Program Files\\$folder"
menu_folder=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/$folder
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${manifest[registry_key]}"
vendor_key="HKLM\\Software\\$folder"

mkdir -p "$drive_c/VANTORELISK"
wine "$build/tools/demo_database/demo-database.exe" 'C:\VANTORELISK\TABLEARTICLE.MDB' </dev/null
database='C:\VANTORELISK\TABLEARTICLE.MDB'

echo "installer: $(stat -c %s "$installer") bytes"
start=$(date +%s%N)
# The exit status says nothing: a stub that cannot run under this Wine
# fails without a word and still ends with 0. The files tell.
wine "$installer" /S </dev/null || true
echo "silent install: $(( ($(date +%s%N) - start) / 1000000 )) ms"
wineserver -w

read -r -a programs <<<"${manifest[programs]}"
for file in "${programs[@]}" Uninstall.exe README.txt LICENSE.txt; do
    [ -f "$installed/$file" ] || fail "$file is not in $installed"
done
# A 32-bit installer would have put them here.
[ ! -e "$drive_c/Program Files (x86)/$folder" ] || fail "installed under Program Files (x86)"

if [ -n "${manifest[menu_entry]}" ]; then
    link=$menu_folder/${manifest[menu_entry]}.lnk
    [ -f "$link" ] || fail "no Start-menu entry $link"
    # The target's path is in the link as ANSI text and as UTF-16.
    tr -d '\0' <"$link" | grep -aqF "$windows_folder\\fiche-article.exe" \
        || fail "the Start-menu entry does not start $windows_folder\\fiche-article.exe"
fi
[ -f "$menu_folder/Uninstall.lnk" ] || fail "no uninstaller in the Start menu"

registry_value() {
    wine reg query "$uninstall_key" /v "$1" </dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}
[ "$(registry_value DisplayName)" = "$folder" ] || fail "DisplayName: $(registry_value DisplayName)"
[ "$(registry_value DisplayVersion)" = "${manifest[version]}" ] \
    || fail "DisplayVersion is not ${manifest[version]}: $(registry_value DisplayVersion)"
[ "$(registry_value UninstallString)" = "\"$windows_folder\\Uninstall.exe\"" ] \
    || fail "UninstallString: $(registry_value UninstallString)"

# The installed article-query, its output redirected to files: UTF-8 bytes
# with Windows line ends, and the rows a case-blind grep finds.
work=$build/installer-test
rm -rf "$work"
mkdir -p "$work"
query() {
    wine "$windows_folder\\article-query.exe" "$@" </dev/null
}
query "$database" ARTICLE >"$work/all.txt" || fail "listing every designation"
grep -q $'\r$' "$work/all.txt" || fail "no CR LF line ends"
tr -d '\r' <"$work/all.txt" >"$work/all.lf"
for pattern in vis écrou; do
    query "$database" "SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*$pattern*'" >"$work/found.txt" \
        || fail "searching for $pattern"
    [ -s "$work/found.txt" ] || fail "no designation holds $pattern"
    iconv -f UTF-8 -t UTF-8 "$work/found.txt" >/dev/null || fail "the rows for $pattern are not UTF-8"
    grep -i -- "$pattern" "$work/all.lf" | cmp - <(tr -d '\r' <"$work/found.txt") \
        || fail "the search for $pattern differs from a case-blind grep"
done
grep -q 'É' "$work/all.lf" || fail "no É among the designations"

status=0
query 'C:\VANTORELISK\NOWHERE.MDB' ARTICLE 2>"$work/err.txt" >/dev/null || status=$?
[ "$status" = 1 ] || fail "a missing database ended with status $status"
grep -q "database file not found" "$work/err.txt" || fail "missing database: $(cat "$work/err.txt")"
status=0
query "$database" 2>"$work/err.txt" >/dev/null || status=$?
[ "$status" = 2 ] || fail "a missing query ended with status $status"
grep -q "usage: article-query" "$work/err.txt" || fail "missing query: $(cat "$work/err.txt")"

# On a console the text goes out as UTF-16, which Wine's console shows in
# the terminal's UTF-8; written as UTF-8 bytes it would come out as
# "Ã‰CROU", read in the console's OEM code page. The console draws the text
# with cursor moves of its own, so only the characters are compared.
console_text() {
    sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' | tr -d ' \r\n'
}
export ARTICLE_QUERY="$windows_folder\\article-query.exe" DATABASE=$database
export QUERY="SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*écrou borgne*'"
query "$database" "$QUERY" | console_text >"$work/redirected.txt"
script -qec 'wine "$ARTICLE_QUERY" "$DATABASE" "$QUERY"' /dev/null </dev/null | console_text >"$work/console.txt"
[ -s "$work/redirected.txt" ] || fail "no designation holds écrou borgne"
cmp "$work/redirected.txt" "$work/console.txt" || fail "the console shows $(cat "$work/console.txt")"

wineserver -w
wine "$windows_folder\\Uninstall.exe" /S </dev/null || true
wineserver -w

[ ! -e "$installed" ] || fail "left after uninstalling: $(ls -A "$installed")"
[ ! -e "$menu_folder" ] || fail "the Start-menu folder is left"
for key in "$uninstall_key" "$vendor_key"; do
    ! wine reg query "$key" </dev/null >/dev/null 2>&1 || fail "the registry key $key is left"
done
[ -f "$drive_c/VANTORELISK/TABLEARTICLE.MDB" ] || fail "uninstalling removed the database"

wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
rm -rf "$WINEPREFIX" "$work"
echo "the installer installs, answers and uninstalls under Wine"
