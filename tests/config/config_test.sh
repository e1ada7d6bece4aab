#!/usr/bin/env bash
# Runs the configuration dialog tests under Wine: registers Framewheel.dll in the prefix,
# makes the clips the playlists refer to in ARTEFACT_DIR, runs the cases (the Monitors
# dialog's once more on two monitors, the Windows-version cases once more with Wine
# reporting older Windows versions) and restores the prefix. The Help and Welcome cases run
# last, with the product's package installed (and removed again afterwards).
#   config_test.sh TEST_EXE FRAMEWHEEL_DLL HOLD_FILE_EXE ARTEFACT_DIR [MSI]
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
exe=$1 dll=$2 hold=$3 artefacts=$4 msi=${5:-}
media="$artefacts/media"
rm -rf "$artefacts"
mkdir -p "$media"

wine regsvr32 /s "$(winepath -w "$dll")" >/dev/null 2>&1 || { echo "regsvr32 failed"; exit 1; }
avi_clip "$media/alpha.avi" testsrc=size=160x120:rate=10 1 </dev/null || exit 1
for name in beta.avi gamma.avi CLIP.AVI; do cp "$media/alpha.avi" "$media/$name"; done

export CONFIG_MEDIA HOLD_FILE WINEDEBUG=-all
CONFIG_MEDIA=$(winepath -w "$media")
HOLD_FILE=$(winepath -w "$hold")

# Play opens a clip with its associated program: let that be a program that just exits
# (hold_file given a second argument refuses it at once; a fresh prefix associates nothing
# with .avi; both keys are removed again below).
wine reg add 'HKLM\Software\Classes\.avi' /ve /d RhTestVideo /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Classes\RhTestVideo\shell\open\command' /ve /d "\"$HOLD_FILE\" \"%1\" exit" /f \
  >/dev/null 2>&1

status=0
timeout 300 wine "$exe" --gtest_filter='-*Installed*' || status=1

# The Monitors dialog on two monitors of different sizes.
if two_monitor_rig "$artefacts/prefix2"; then
  timeout 120 wine "$exe" --gtest_filter='MonitorsDialog.*' || status=1
else
  echo "FAIL: no two-monitor display"; status=1
fi
drop_two_monitor_rig

# The renderer options follow the Windows version: run those cases as Windows XP x64 and
# as Windows 2000 too, then give the prefix its own version back.
for version in winxp64 win2k; do
  wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d $version /f >/dev/null 2>&1
  timeout 120 wine "$exe" --gtest_filter='Options.Renderer*' || status=1
done
wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1

if [ -f "$msi" ]; then
  if wine msiexec /i "$(winepath -w "$msi")" /qn >/dev/null 2>&1; then
    timeout 60 wine "$exe" --gtest_filter='*Installed*' || status=1
    wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1
  else
    echo "could not install $msi"
    status=1
  fi
else
  echo "no package: the Help and Welcome cases did not run"
fi

wine reg delete 'HKLM\Software\Classes\RhTestVideo' /f >/dev/null 2>&1
wine reg delete 'HKLM\Software\Classes\.avi' /f >/dev/null 2>&1
exit $status
