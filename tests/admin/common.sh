# Sourced by the administration tests: the shared checks, and where the product installs.
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
folder="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven"
tool='C:\Program Files\Halcyra\Reelhaven\rhplaylist.exe'
