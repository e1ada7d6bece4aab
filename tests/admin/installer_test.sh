#!/usr/bin/env bash
# The package as an administrator deploys it: the cache folder's rights in the tables, a
# silent per-machine install, a policy under HKLM\Software\Policies that the installed
# program shows on its Options page, a major upgrade to a newer build (one product, the
# user's settings and cache kept, the installation check still passing), a refused
# downgrade, silent repairs that bring back the library and its registration, and a clean removal.
#   installer_test.sh Reelhaven.msi Reelhaven-next.msi install_ids.h admin_probe.exe OUT_DIR
set -uo pipefail
msi=$1 next=$2 ids=$3 probe=$4 out=$5
. "$(dirname "$0")/common.sh"
rm -rf "$out" && mkdir -p "$out"

code_of() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }
old_code=$(code_of "$msi" ProductCode)
new_code=$(code_of "$next" ProductCode)
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
user_key='HKCU\Software\Halcyra\Reelhaven'
policy_key='HKLM\Software\Policies\Halcyra\Reelhaven'
playlist_clsid='HKCR\CLSID\{718259E0-C4F7-11d2-861C-BD7B2EB47737}\InprocServer32'
cleanup() {
  wine reg delete "$policy_key" /f >/dev/null 2>&1
  wine reg delete "$user_key" /f >/dev/null 2>&1
  wine msiexec /x "$next" /qn >/dev/null 2>&1
  wine msiexec /x "$msi" /qn >/dev/null 2>&1
}
trap cleanup EXIT
cleanup

# ---- the tables ----
check "the package keeps the product code the program checks" \
  grep -q "REELHAVEN_PRODUCT_CODE L\"$old_code\"" "$ids"
check "both builds share the upgrade code of install_ids.h" same \
  "$(code_of "$msi" UpgradeCode) $(code_of "$next" UpgradeCode)" \
  "$(sed -n 's/.*REELHAVEN_UPGRADE_CODE L"\(.*\)"/\1 \1/p' "$ids")"
check "the newer build has its own product code and a higher version" \
  test "$new_code" != "$old_code" -a "$(code_of "$next" ProductVersion)" = 3.3.0
check "permission rows: users may modify the Cache folder, and nothing else has rows" same \
  "$(msiinfo export "$msi" MsiLockPermissionsEx | tr -d '\r' | tail -n +4)" \
  "$(printf 'CacheFolderRights\tCacheFolder\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)\t')"
check "no LockPermissions rows beside them" \
  test -z "$(msiinfo export "$msi" LockPermissions 2>/dev/null | tail -n +4)"
check "an older version is removed after the newer one is in place" same \
  "$(msiinfo export "$next" InstallExecuteSequence | tr -d '\r' | awk -F'\t' '$1 == "RemoveExistingProducts" || $1 == "InstallFinalize" { print $1, $3 }' | sort)" \
  'InstallFinalize 6600
RemoveExistingProducts 6700'

# ---- silent per-machine install ----
wine msiexec /i "$msi" /qn ALLUSERS=1 >/dev/null 2>&1
check "msiexec /i /qn ALLUSERS=1" test $? = 0
for f in Framewheel.dll rhplaylist.exe QuickStart.rtf PolicyDefinitions/Reelhaven.admx \
  PolicyDefinitions/en-US/Reelhaven.adml; do
  check "installed: $f" test -f "$folder/$f"
done
check "installed: the cache folder" test -d "$folder/Cache"

# ---- a policy as the template writes it changes the installed program ----
options() { # the sheet's Options page: "master-volume N bounce-speed N"
  wine 'C:\windows\system32\Reelhaven.scr' /c >/dev/null 2>&1 &
  local scr=$!
  wout "$probe" options 30000 | tr '\n' ' '
  timeout 30 tail --pid="$scr" -f /dev/null
}
wine reg add "$user_key" /v QuickStartShown /t REG_BINARY /d 01 /f >/dev/null 2>&1
wine reg add "$user_key" /v 'Master Volume' /t REG_DWORD /d 80 /f >/dev/null 2>&1
wine reg add "$user_key" /v 'Bounce Speed' /t REG_DWORD /d 40 /f >/dev/null 2>&1
wine reg add "$policy_key" /v 'Master Volume' /t REG_DWORD /d 37 /f >/dev/null 2>&1
wine reg add "$policy_key" /v 'Bounce Speed' /t REG_DWORD /d 120 /f >/dev/null 2>&1
check "Options page shows the enforced master volume and bounce speed" same "$(options)" \
  'master-volume 37 bounce-speed 11 '
wine reg delete "$policy_key" /f >/dev/null 2>&1
check "without the policy it shows the user's own" same "$(options)" 'master-volume 80 bounce-speed 3 '

# ---- major upgrade ----
echo kept >"$folder/Cache/copy.avi"
wine msiexec /i "$next" /qn ALLUSERS=1 >/dev/null 2>&1
check "upgrade: msiexec /i of the newer build" test $? = 0
listed=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
check "upgrade: only the newer product is installed" \
  bash -c '[[ "$1" == *"$2"* ]] && [[ "$1" != *"$3"* ]]' _ "$listed" "$new_code" "$old_code"
check "upgrade: it is listed as 3.3.0" contains \
  "$(wine reg query "$uninstall_key\\$new_code" /v DisplayVersion 2>/dev/null | tr -d '\r')" 3.3.0
check "upgrade: files and registration in place" bash -c '[ -f "$1/Framewheel.dll" ] &&
  [ -f "$1/rhplaylist.exe" ] && [ -f "$1/PolicyDefinitions/Reelhaven.admx" ]' _ "$folder"
check "upgrade: the class registration names the library" contains \
  "$(wine reg query "$playlist_clsid" 2>/dev/null | tr -d '\r')" 'Reelhaven\Framewheel.dll'
check "upgrade: the cache's copies are kept" test -f "$folder/Cache/copy.avi"
check "upgrade: the user's settings are kept, and the program finds its installation" same \
  "$(options)" 'master-volume 80 bounce-speed 3 '

# ---- downgrade refused ----
# From a fresh installation of the newer build: Wine drops the upgrade code's registration
# when the older product goes after the newer one is in place, which Windows does not.
wine msiexec /x "$next" /qn >/dev/null 2>&1
wine msiexec /i "$next" /qn ALLUSERS=1 >/dev/null 2>&1
check "the newer build installs on its own" test $? = 0
wine msiexec /i "$msi" /qn ALLUSERS=1 >/dev/null 2>&1
check "downgrade: refused" test $? != 0
check "downgrade: the refusal's message (shown by msiexec's interface)" same \
  "$(msiinfo export "$msi" LaunchCondition | tr -d '\r' | tail -n +4)" \
  "$(printf 'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Halcyra Reelhaven is already installed. Remove it first to install this one.')"
listed=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
check "downgrade: the newer product stays, the older is not installed" \
  bash -c '[[ "$1" == *"$2"* ]] && [[ "$1" != *"$3"* ]]' _ "$listed" "$new_code" "$old_code"

# ---- repairs ----
# The property form of /fa and /fomus: Wine's msiexec does not implement /f.
broken() {
  rm -f "$folder/Framewheel.dll"
  wine reg delete "${playlist_clsid%\\InprocServer32}" /f >/dev/null 2>&1
}
repaired() { [ -f "$folder/Framewheel.dll" ] && contains \
  "$(wine reg query "$playlist_clsid" 2>/dev/null | tr -d '\r')" 'Reelhaven\Framewheel.dll'; }
for mode in amus omus; do
  broken
  wine msiexec /i "$next" REINSTALL=ALL REINSTALLMODE=$mode /qn >/dev/null 2>&1
  check "repair REINSTALLMODE=$mode: exit 0" test $? = 0
  check "repair REINSTALLMODE=$mode: the library and its registration are back" repaired
done

# ---- silent removal ----
rm -f "$folder/Cache/copy.avi"
wine msiexec /x "$next" /qn >/dev/null 2>&1
check "msiexec /x /qn" test $? = 0
check "removed: the installation folder and the screen saver" bash -c '! [ -e "$1" ] &&
  ! [ -e "$2/drive_c/windows/system32/Reelhaven.scr" ] || { find "$1" >&2; false; }' _ "$folder" "$WINEPREFIX"
check "removed: the class registration" bash -c '! wine reg query "$1" >/dev/null 2>&1' _ \
  "$playlist_clsid"
check "removed: no product listed" bash -c '! wine reg query "$1\\$2" >/dev/null 2>&1' _ \
  "$uninstall_key" "$new_code"
check "removed: the user's settings stay" bash -c 'wine reg query "$1" /v "Master Volume" >/dev/null 2>&1' _ \
  "$user_key"
finish
