#!/usr/bin/env bash
# Installs and uninstalls the Windows installer silently under Wine and checks what each
# leaves behind.
#
#   tests/installer/check_installer.sh SETUP.EXE [PREFIX]
#
# In a fresh Wine prefix (PREFIX, default a scratch folder): `SETUP.EXE /S`, then the program
# files, the Start-menu entries, the "Repair with Velmora" verb on .ods files and the
# uninstall entry must be there; a file of the user's is put into the install folder; then
# `Uninstall.exe /S`, after which everything the installer wrote must be gone and the user's
# file still there. Prints "N passed, N failed" and exits non-zero on any failure.
set -uo pipefail
setup="$(realpath "${1:?usage: check_installer.sh SETUP.EXE [PREFIX]}")"
prefix="${2:-$(mktemp -d)/wineprefix}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win32
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    passed=$((passed + 1)); echo "ok   $what"
  else
    failed=$((failed + 1)); echo "FAIL $what"
  fi
}
absent() { ! "$@"; }
reg_has() { wine reg query "$1" ${2:+/v "$2"} | grep -q "${3:-.}"; }

rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
wine wineboot -i >/dev/null 2>&1
wineserver -w
user_dir="$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)"
inst="$user_dir/AppData/Local/Programs/Velmora"
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velmora"
verb='HKCU\Software\Classes\SystemFileAssociations\.ods\shell\Velmora.Repair'
uninst='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'

wine "$setup" /S
wineserver -w
for f in Velmora.exe velmora-cli.exe Velmora.chm Uninstall.exe; do
  check "installed $f" test -f "$inst/$f"
done
check "Start-menu entry" test -f "$menu/Velmora.lnk"
check "Start-menu help entry" test -f "$menu/Velmora Help.lnk"
check "context-menu verb on .ods" reg_has "$verb" "" "Repair with Velmora"
check "context-menu command passes the file" reg_has "$verb\\command" "" 'Velmora.exe" "%1"'
check "uninstall entry" reg_has "$uninst" UninstallString Uninstall.exe

echo "my notes" >"$inst/notes.txt"
wine "C:\\users\\$(basename "$user_dir")\\AppData\\Local\\Programs\\Velmora\\Uninstall.exe" /S
wineserver -w
# The uninstaller runs from a copy in the temp folder; wait until it has removed itself.
for _ in $(seq 50); do [ -f "$inst/Uninstall.exe" ] || break; sleep 0.2; done
for f in Velmora.exe velmora-cli.exe Velmora.chm Uninstall.exe; do
  check "uninstalled $f" absent test -e "$inst/$f"
done
check "user's file kept" test -f "$inst/notes.txt"
check "Start-menu folder removed" absent test -e "$menu"
check "context-menu verb removed" absent reg_has "$verb"
check "uninstall entry removed" absent reg_has "$uninst"

echo "$passed passed, $failed failed"
((failed == 0))
