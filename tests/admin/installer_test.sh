#!/usr/bin/env bash
# The package as an administrator deploys it: the cache folder's rights in the tables, a
# silent per-machine install, a policy under HKLM\Software\Policies that the installed
# program shows on its Options page, a major upgrade to a newer build (one product, the
# user's settings and cache kept, the installation check still passing), a refused
# downgrade, silent repairs that bring back the library and its registration, and a clean removal.
#   installer_test.sh Reelhaven.msi Reelhaven-next.msi install_ids.h window_probe.exe OUT_DIR
set -uo pipefail
msi=$1 next=$2 ids=$3 probe=$4 out=$5
. "$(dirname "$0")/common.sh"
rm -rf "$out" && mkdir -p "$out"

table() { msiinfo export "$1" "$2" 2>/dev/null | tr -d '\r' | tail -n +4; }  # the rows
code_of() { table "$1" Property | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }
old_code=$(code_of "$msi" ProductCode)
new_code=$(code_of "$next" ProductCode)
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
user_key='HKCU\Software\Halcyra\Reelhaven'
policy_key='HKLM\Software\Policies\Halcyra\Reelhaven'
playlist_clsid='HKCR\CLSID\{718259E0-C4F7-11d2-861C-BD7B2EB47737}\InprocServer32'
msi_qn() { quiet wine msiexec "$@" /qn; }
cleanup() {
  quiet wine reg delete "$policy_key" /f
  quiet wine reg delete "$user_key" /f
  msi_qn /x "$next"
  msi_qn /x "$msi"
}
trap cleanup EXIT
cleanup
only_newer_listed() { local l; l=$(wout reg query "$uninstall_key"); [[ $l == *"$new_code"* && $l != *"$old_code"* ]]; }
registered() { contains "$(wout reg query "$playlist_clsid")" 'Reelhaven\Framewheel.dll'; }
repaired() { [ -f "$folder/Framewheel.dll" ] && registered; }

# ---- the tables ----
check "the package keeps the product code the program checks" \
  grep -q "REELHAVEN_PRODUCT_CODE L\"$old_code\"" "$ids"
check "both builds share the upgrade code of install_ids.h" same \
  "$(code_of "$msi" UpgradeCode) $(code_of "$next" UpgradeCode)" \
  "$(sed -n 's/.*REELHAVEN_UPGRADE_CODE L"\(.*\)"/\1 \1/p' "$ids")"
check "the newer build has its own product code and a higher version" \
  test "$new_code" != "$old_code" -a "$(code_of "$next" ProductVersion)" = 3.3.0
# Users list the Cache folder and create files in it, and own what they create; no folders,
# no deleting, renaming or re-permitting the folder or another user's file.
check "permission rows: users add files to the Cache folder, and nothing else has rows" same \
  "$(table "$msi" MsiLockPermissionsEx)" \
  "$(printf 'CacheFolderRights\tCacheFolder\tCreateFolder\tD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;FA;;;CO)\t')"
check "no LockPermissions rows beside them" test -z "$(table "$msi" LockPermissions)"
check "an older version is removed after the newer one is in place" same \
  "$(table "$next" InstallExecuteSequence | awk -F'\t' '$1 == "RemoveExistingProducts" || $1 == "InstallFinalize" { print $1, $3 }' | sort)" \
  'InstallFinalize 6600
RemoveExistingProducts 6700'

# ---- silent per-machine install ----
check "msiexec /i /qn ALLUSERS=1" msi_qn /i "$msi" ALLUSERS=1
check "installed: the screen saver" test -f "$WINEPREFIX/drive_c/windows/system32/Reelhaven.scr"
for f in Framewheel.dll rhplaylist.exe QuickStart.rtf Playlist.htm Options.htm PolicyDefinitions/Reelhaven.admx \
  PolicyDefinitions/en-US/Reelhaven.adml Cache/ Cache/ReadMe.txt; do
  check "installed: $f" test -e "$folder/$f"
done

# ---- a policy as the template writes it changes the installed program ----
options() { # the sheet's Options page: "master-volume N bounce-speed N"
  wine 'C:\windows\system32\Reelhaven.scr' /c >/dev/null 2>&1 &
  local scr=$!
  wout "$probe" sheet 30000 | grep -v '^owner' | tr '\n' ' '
  timeout 30 tail --pid="$scr" -f /dev/null
}
reg_values "$user_key" QuickStartShown=REG_BINARY:01 'Master Volume=REG_DWORD:80' 'Bounce Speed=REG_DWORD:40'
reg_values "$policy_key" 'Master Volume=REG_DWORD:37' 'Bounce Speed=REG_DWORD:120'
check "Options page shows the enforced master volume and bounce speed" same "$(options)" \
  'master-volume 37 bounce-speed 11 '
quiet wine reg delete "$policy_key" /f
check "without the policy it shows the user's own" same "$(options)" 'master-volume 80 bounce-speed 3 '

# ---- major upgrade ----
echo kept >"$folder/Cache/copy.avi"
check "upgrade: msiexec /i of the newer build" msi_qn /i "$next" ALLUSERS=1
check "upgrade: only the newer product is installed" only_newer_listed
check "upgrade: it is listed as 3.3.0" contains "$(wout reg query "$uninstall_key\\$new_code" /v DisplayVersion)" 3.3.0
for f in Framewheel.dll rhplaylist.exe PolicyDefinitions/Reelhaven.admx Cache/copy.avi; do
  check "upgrade: $f in place" test -f "$folder/$f"
done
check "upgrade: the class registration names the library" registered
check "upgrade: the user's settings are kept, and the program finds its installation" same \
  "$(options)" 'master-volume 80 bounce-speed 3 '

# ---- downgrade refused ----
# From a fresh installation of the newer build: Wine drops the upgrade code's registration
# when the older product goes after the newer one is in place, which Windows does not.
msi_qn /x "$next"
check "the newer build installs on its own" msi_qn /i "$next" ALLUSERS=1
check "downgrade: refused" not msi_qn /i "$msi" ALLUSERS=1
check "downgrade: the refusal's message (shown by msiexec's interface)" same "$(table "$msi" LaunchCondition)" \
  "$(printf 'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Halcyra Reelhaven is already installed. Remove it first to install this one.')"
check "downgrade: the newer product stays, the older is not installed" only_newer_listed

# ---- repairs ----
# The property form of /fa and /fomus: Wine's msiexec does not implement /f.
for mode in amus omus; do
  rm -f "$folder/Framewheel.dll"
  quiet wine reg delete "${playlist_clsid%\\InprocServer32}" /f
  check "repair REINSTALLMODE=$mode: exit 0" msi_qn /i "$next" REINSTALL=ALL REINSTALLMODE=$mode
  check "repair REINSTALLMODE=$mode: the library and its registration are back" repaired
done

# ---- silent removal ----
rm -f "$folder/Cache/copy.avi"
check "msiexec /x /qn" msi_qn /x "$next"
check "removed: the installation folder and the screen saver" bash -c '! [ -e "$1" ] &&
  ! [ -e "$2/drive_c/windows/system32/Reelhaven.scr" ] || { find "$1" >&2; false; }' _ "$folder" "$WINEPREFIX"
check "removed: the class registration" not quiet wine reg query "$playlist_clsid"
check "removed: no product listed" not quiet wine reg query "$uninstall_key\\$new_code"
check "removed: the user's settings stay" quiet wine reg query "$user_key" /v "Master Volume"
finish
