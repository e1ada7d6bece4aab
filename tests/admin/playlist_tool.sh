#!/usr/bin/env bash
# The installed playlist tool against real files, every result read back with the
# library's playlist object (admin_probe read): each command, the Playlist Defaults the
# settings give new entries, a folder tree of clips, M3U round trips, and every bad input
# with its message and exit code, leaving the playlist as it was.
#   playlist_tool.sh Reelhaven.msi admin_probe.exe rhplaylist.exe(uninstalled build) OUT_DIR
set -uo pipefail
msi=$1 probe=$2 built_tool=$3 out=$4
. "$(dirname "$0")/common.sh"
rm -rf "$out" && mkdir -p "$out"

key='HKCU\Software\Halcyra\Reelhaven'
root="$WINEPREFIX/drive_c/admin"
unc="$WINEPREFIX/dosdevices/unc/rhserver"  # \\rhserver\share, a share as Wine maps one
cleanup() {
  quiet wine reg delete "$key" /f
  quiet wine msiexec /x "$msi" /qn
  rm -rf "$root" "$unc"
}
trap cleanup EXIT
cleanup
check "msiexec /i" quiet wine msiexec /i "$msi" /qn ALLUSERS=1

# A tree of clips, Windows names below C:\admin.
mkdir -p "$root/v/sub" "$root/v/a" "$root/m3u"
avi_clip "$root/v/b.avi" testsrc=size=64x48:rate=5 1
cp "$root/v/b.avi" "$root/v/A.avi"; cp "$root/v/b.avi" "$root/v/a/z.AVI"
cp "$root/v/b.avi" "$root/v/sub/x.mpg"; cp "$root/v/b.avi" "$root/v/c.txt"
L='C:\admin\list.plst'
list="$root/list.plst"
# One line per entry, then "count N". A probe that fails without a word (a crash loses its
# buffered lines) says so, with its exit code and what Wine printed.
entries() {
  local text status
  text=$(wine "$probe" read "$1" 2>"$out/probe.err" | tr -d '\r'; exit "${PIPESTATUS[0]}")
  status=$?
  [ -n "$text" ] || echo "     admin_probe read $1 printed nothing, exit $status: $(tail -3 "$out/probe.err")" >&2
  printf '%s\n' "$text"
}
field() { entries "$1" | sed -n "$(($2 + 1))p" | cut -d'|' -f"$3"; }
rh() { quiet wine "$tool" "$@"; }  # the installed tool, its output dropped

# Playlist Defaults as the Options page saves them, and the file types.
check "the Playlist Defaults are written" reg_values "$key\\Playlist Defaults" Loops=REG_DWORD:5 \
  'Size=REG_SZ:1/2 Screen' Bounce=REG_DWORD:1 Volume=REG_DWORD:70 Style=REG_SZ:Desktop Speed=REG_SZ:1.50
check "the file types are written" reg_values "$key" 'Video File Types=REG_SZ:*.avi;*.mpg'

check "create: exit 0" rh create "$L" --loops 2 'C:\admin\v\b.avi'
check "create: the Playlist Defaults, then the options" same "$(entries "$L")" \
  'C:\admin\v\b.avi|2|1|1|0.5|1|70|0|1.5|0x00000000
count 1'

check "add-folder: exit 0" rh add-folder "$L" --bounce no 'C:\admin\v'
check "add-folder: the folder's videos by name, then its subfolders'; no other types" same \
  "$(entries "$L" | cut -d'|' -f1,6 | tr '\n' ' ')" \
  'C:\admin\v\b.avi|1 C:\admin\v\A.avi|0 C:\admin\v\b.avi|0 C:\admin\v\a\z.AVI|0 C:\admin\v\sub\x.mpg|0 count 5 '
rh add-folder 'C:\admin\new.plst' --types '*.txt' 'C:\admin\v'
check "add-folder makes a new list" same "$(entries 'C:\admin\new.plst' | cut -d'|' -f1)" \
  'C:\admin\v\c.txt
count 1'
rh add-folder "$L" --types '*.txt' 'C:\admin\v'
check "add-folder --types replaces the setting's patterns" same "$(field "$L" 5 1)" 'C:\admin\v\c.txt'

(cd "$root/v" && rh add "$L" --size Original --style Monitor --speed 0.25 --volume 0 sub/x.mpg)
check "add: a relative path is stored in full, with the options" same "$(field "$L" 6 1-10)" \
  'C:\admin\v\sub\x.mpg|5|0|1|1|1|0|1|0.25|0x00000000'

rh set "$L" 1 --loops 9999 --size 'full screen'
check "set: only the fields given change" same "$(field "$L" 1 1-10)" \
  'C:\admin\v\A.avi|9999|1|0|1|0|70|0|1.5|0x00000000'

rh move "$L" 6 0 && rh move "$L" 1 3
check "move: to an earlier and to a later index" same \
  "$(entries "$L" | cut -d'|' -f1 | head -4 | tr '\n' ' ')" \
  'C:\admin\v\sub\x.mpg C:\admin\v\A.avi C:\admin\v\b.avi C:\admin\v\b.avi '
rh remove "$L" 0
check "remove" same "$(entries "$L" | tail -1)" 'count 6'

json=$(wout "$tool" list "$L" --json)
check "list --json is JSON with every entry as the object reads it" same \
  "$(python3 -c 'import json,sys; print("\n".join("%s|%d|%d" % (e["file"], e["loops"], e["volume"]) for e in json.load(sys.stdin)["entries"]))' <<<"$json")" \
  "$(entries "$L" | grep -v '^count' | cut -d'|' -f1,2,7)"
plain=$(wout "$tool" list "$L")
check "list: a header and one line per entry" same "$(wc -l <<<"$plain")" 7
check "command names in any case" same "$(wout "$tool" LIST "$L")" "$plain"

# M3U: relative paths (also through ..), a comment, a URL, UTF-8 names in .m3u8.
cp "$root/v/b.avi" "$root/v/é.avi"
printf '#EXTM3U\r\n#EXTINF:1,first\r\n..\\v\\b.avi\r\nhttp://example.com/x.avi\r\n\r\n../v/é.avi\r\nC:\\admin\\v\\a\\z.AVI\r\n' \
  >"$root/m3u/in.m3u8"
rh import 'C:\admin\m3u\new.plst' 'C:\admin\m3u\in.m3u8'
check "import: makes the list, paths resolved against the M3U's folder" same \
  "$(entries 'C:\admin\m3u\new.plst' | cut -d'|' -f1 | tr '\n' ' ')" \
  'C:\admin\v\b.avi C:\admin\v\é.avi C:\admin\v\a\z.AVI count 3 '
rh export 'C:\admin\m3u\new.plst' 'C:\admin\v\out.m3u8'
check "export: UTF-8, relative below the M3U's folder, full paths elsewhere" same \
  "$(tr -d '\r' <"$root/v/out.m3u8" | tr '\n' ' ')" '#EXTM3U b.avi é.avi a\z.AVI '
rh import 'C:\admin\v\round.plst' 'C:\admin\v\out.m3u8'
rh export 'C:\admin\v\round.plst' 'C:\admin\v\round.m3u8'
check "round trip M3U -> .plst -> M3U gives the same M3U" cmp "$root/v/out.m3u8" "$root/v/round.m3u8"
rh export "$L" 'C:\admin\ansi.m3u'
rh import 'C:\admin\ansi.plst' 'C:\admin\ansi.m3u'
check "round trip through an ANSI .m3u" same "$(entries 'C:\admin\ansi.plst' | cut -d'|' -f1)" \
  "$(entries "$L" | cut -d'|' -f1)"

# Notepad's "Unicode" files: UTF-16 with its mark, little- and big-endian.
u16=$(printf '#EXTM3U\r\n..\\v\\b.avi\r\nC:\\admin\\v\\\xc3\xa9.avi\r\n')
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <<<"$u16"; } >"$root/m3u/le.m3u"
{ printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE <<<"$u16"; } >"$root/m3u/be.m3u"
iconv -f UTF-8 -t UTF-16LE <<<"$u16" >"$root/m3u/unmarked.m3u"
rh import 'C:\admin\m3u\u16.plst' 'C:\admin\m3u\le.m3u'
rh import 'C:\admin\m3u\u16.plst' 'C:\admin\m3u\be.m3u'
check "import: UTF-16 with its mark, little- and big-endian" same \
  "$(entries 'C:\admin\m3u\u16.plst' | cut -d'|' -f1 | tr '\n' ' ')" \
  'C:\admin\v\b.avi C:\admin\v\é.avi C:\admin\v\b.avi C:\admin\v\é.avi count 4 '

# Lines from the root count from the M3U's share or volume, also in the long form; ".."
# stops there.
mkdir -p "$root/share/lists" "$unc"
ln -sfn "$root/share" "$unc/share"
printf '\\videos\\a.avi\r\n..\\..\\..\\up.avi\r\n' | tee "$root/share/lists/root.m3u" >"$root/m3u/root.m3u"
for m3u in '\\rhserver\share\lists\root.m3u' '\\?\UNC\rhserver\share\lists\root.m3u' '\\?\C:\admin\m3u\root.m3u'; do
  rh import 'C:\admin\m3u\roots.plst' "$m3u"
done
check "import: root-relative lines on a share and in the long form" same \
  "$(entries 'C:\admin\m3u\roots.plst' | cut -d'|' -f1 | tr '\n' ' ')" \
  '\\rhserver\share\videos\a.avi \\rhserver\share\up.avi \\?\UNC\rhserver\share\videos\a.avi \\?\UNC\rhserver\share\up.avi \\?\C:\videos\a.avi \\?\C:\up.avi count 6 '

# With UTF-8 as the system code page (as Windows' "Use Unicode UTF-8" setting or a
# manifest gives it; Wine takes the manifest), a .m3u is written in UTF-8.
cat >"$folder/rhplaylist.exe.manifest" <<'XML'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly manifestVersion="1.0" xmlns="urn:schemas-microsoft-com:asm.v1">
  <assemblyIdentity type="win32" name="rhplaylist" version="1.0.0.0"/>
  <application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>
    <activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>
  </windowsSettings></application>
</assembly>
XML
rh export 'C:\admin\m3u\new.plst' 'C:\admin\utf8.m3u'
check "export with UTF-8 as the system code page" same "$(tr -d '\r' <"$root/utf8.m3u" | tr '\n' ' ')" \
  '#EXTM3U v\b.avi v\é.avi v\a\z.AVI '
# A name with a lone UTF-16 surrogate (NTFS allows it) has no UTF-8 form, in either file.
{ printf '\xff\xfe'; printf 'C:\\admin\\v\\' | iconv -t UTF-16LE; printf '\x00\xd8'; printf '.avi\r\n' | iconv -t UTF-16LE; } \
  >"$root/m3u/lone.m3u"
rh import 'C:\admin\m3u\lone.plst' 'C:\admin\m3u\lone.m3u'
for target in 'C:\admin\lone.m3u' 'C:\admin\lone.m3u8'; do
  echo kept >"$root/${target##*\\}"
  message=$(wine "$tool" export 'C:\admin\m3u\lone.plst' "$target" 2>&1 >/dev/null)
  check "export of a lone surrogate to ${target##*\\}: exit 6, the entry named, the file unchanged" \
    bash -c '[ "$1" = 6 ] && [[ "$2" == *"$3"* ]] && [ "$(cat "$4")" = kept ]' _ $? "$message" \
    'C:\admin\v\' "$root/${target##*\\}"
done
rm -f "$folder/rhplaylist.exe.manifest"

# Writing over a playlist or an M3U keeps what is the file's own: here, readable by its
# owner alone (Wine shows the unix mode as the permissions) and hidden.
chmod 600 "$list" "$root/v/out.m3u8"
for f in "$L" 'C:\admin\v\out.m3u8'; do quiet wine attrib +h "$f"; done
kept="$(wout "$probe" file "$L") $(wout "$probe" file 'C:\admin\v\out.m3u8')"
rh set "$L" 0 --loops 3
rh export 'C:\admin\m3u\new.plst' 'C:\admin\v\out.m3u8'
check "set and export keep the files' permissions and attributes" same \
  "$(wout "$probe" file "$L") $(wout "$probe" file 'C:\admin\v\out.m3u8')" "$kept"
check "(the probe saw them)" contains "$kept" 'attributes 0x22'
for f in "$L" 'C:\admin\v\out.m3u8'; do quiet wine attrib -h "$f"; done

# Bad inputs: message, exit code, and the playlist untouched.
printf 'not a playlist at all, only text\n' >"$root/damaged.plst"
before=$(md5sum <"$list")
bad() { # description, expected code, expected text, tool arguments...
  local what=$1 code=$2 text=$3 message rc
  shift 3
  message=$(wine "$tool" "$@" 2>&1 >/dev/null)
  rc=$?
  message=$(tr -d '\r' <<<"$message" | grep rhplaylist)
  check "$what: exit $code, \"$text\", playlist unchanged" \
    bash -c '[ "$1" = "$2" ] && [[ "$3" == *"$4"* ]] && [ "$(md5sum <"$5")" = "$6" ]' _ \
    "$rc" "$code" "$message" "$text" "$list" "$before"
}
bad "unknown command" 2 "no such command" frobnicate "$L"
bad "unknown option" 2 "not an option" add "$L" --loud 'C:\admin\v\b.avi'
bad "missing playlist" 3 "no such playlist" list 'C:\admin\missing.plst'
bad "missing folder of the playlist" 3 "no such playlist" add 'C:\nowhere\x.plst' 'C:\admin\v\b.avi'
bad "damaged playlist" 4 "not a Reelhaven playlist" add 'C:\admin\damaged.plst' 'C:\admin\v\b.avi'
bad "index past the end" 5 "index 6 is out of range: the playlist has 6 entries (0 to 5)" set "$L" 6 --loops 1
bad "negative index" 5 "out of range" remove "$L" -1
bad "index that is no number" 2 "whole number" move "$L" one 2
bad "loops 0" 6 "valid values for Loops are 1 to 9999" set "$L" 0 --loops 0
bad "loops 10000" 6 "valid values for Loops are 1 to 9999" add "$L" --loops 10000 'C:\admin\v\b.avi'
bad "volume 101" 6 "valid values for Volume are 0 to 100" set "$L" 0 --volume 101
bad "speed 4.05" 6 "valid values for Speed are 0.25 to 4.00" set "$L" 0 --speed 4.05
bad "speed 0.2" 6 "valid values for Speed are 0.25 to 4.00" set "$L" 0 --speed 0.2
bad "unknown size" 6 "the sizes are" set "$L" 0 --size Huge
bad "unknown style" 6 "the styles are" set "$L" 0 --style Wall
bad "create over an existing list" 7 "already exists" create "$L" 'C:\admin\v\b.avi'
bad "missing folder" 8 "no such folder" add-folder "$L" 'C:\admin\none'
bad "missing M3U" 8 "cannot be read" import "$L" 'C:\admin\none.m3u'
bad "add-folder with an empty folder" 2 "not an empty argument" add-folder "$L" ''
bad "UTF-16 without its mark" 4 "NUL" import "$L" 'C:\admin\m3u\unmarked.m3u'
# Hostile M3U files through the whole tool (tests/admin/m3u_test.cpp tries thousands more).
python3 - "$root/m3u" <<'PY'
import random, sys
d = sys.argv[1]
random.seed(7)
files = {
    "noise.m3u": bytes(random.randrange(256) for _ in range(4096)),
    "zero.m3u": b"C:\\admin\\v\\b.avi\r\nC:\\admin\\v\\b\0.avi\r\n",
    "huge.m3u": b"C:\\" + b"a" * (1 << 20) + b".avi\r\n",
    "extinf.m3u": b"#EXTM3U\r\n" + b"#EXTINF:1,clip\r\n" * 10000,
    "urls.m3u8": b"http://example.com/a.avi\r\nrtsp://example.com/b\r\n",
    "name.m3u": b"C:\\" + b"n" * 32000 + b"\r\n",
}
for name, data in files.items():
    open(f"{d}/{name}", "wb").write(data)
PY
bad "M3U of random bytes" 4 "not an M3U playlist" import "$L" 'C:\admin\m3u\noise.m3u'
bad "M3U with a NUL in a line" 4 "NUL" import "$L" 'C:\admin\m3u\zero.m3u'
bad "M3U line of 1 MB" 6 "line 1:" import "$L" 'C:\admin\m3u\huge.m3u'
bad "M3U of 10,000 #EXTINF lines, no entry" 8 "no files in it" import "$L" 'C:\admin\m3u\extinf.m3u'
bad "M3U of URLs only" 8 "no files in it" import "$L" 'C:\admin\m3u\urls.m3u8'
bad "M3U name of 32,000 characters" 6 "longer than 255" import "$L" 'C:\admin\m3u\name.m3u'
quiet wine attrib +r "$L"
bad "a read-only playlist" 7 "cannot be written" set "$L" 0 --loops 2
check "it stays read-only" contains "$(wout "$probe" file "$L")" 'attributes 0x21'
quiet wine attrib -r "$L"
rh create 'C:\admin\one.plst' 'C:\admin\v\b.avi'
bad "removing the only entry" 6 "at least one entry" remove 'C:\admin\one.plst' 0
# A playlist on a full disk (a 64 KiB tmpfs as a Wine drive): the new contents cannot be
# written, and the old file stays whole. Wine replaces read-only and open files regardless,
# so a full disk is the one write failure it shows.
disk=$(mktemp -d /tmp/rh-admin-disk.XXXXXX)
if mount -t tmpfs -o size=64k tmpfs "$disk" 2>/dev/null; then
  for letter in x w v u t s r q p o; do
    [ -e "$WINEPREFIX/dosdevices/$letter:" ] || [ -L "$WINEPREFIX/dosdevices/$letter:" ] || break
  done
  ln -s "$disk" "$WINEPREFIX/dosdevices/$letter:"
  full="${letter^^}:\\full.plst"
  cp "$list" "$disk/full.plst"
  dd if=/dev/zero of="$disk/filler" bs=1k count=200 >/dev/null 2>&1
  list="$disk/full.plst" before=$(md5sum <"$disk/full.plst")
  bad "full disk" 7 "the playlist is unchanged" add "$full" 'C:\admin\v\b.avi'
  check "no file is left behind by a failed write" test -z "$(ls "$disk" | grep rhtmp)"
  rm -f "$WINEPREFIX/dosdevices/$letter:"
  umount "$disk"
else
  echo "SKIP full disk: mounting a tmpfs needs root"
fi
rmdir "$disk"
help=$(wout "$tool" --help)
check "--help names every command, field and exit code" bash -c 'for w in create list add \
  add-folder remove move set import export --json --types --force --loops --size --bounce \
  --volume --style --speed "9 the player library"; do [[ "$1" == *"$w"* ]] || exit 1; done' _ "$help"

# The dialog's limits are the settings' clamps: out-of-range defaults load as the bounds,
# and the bounds themselves are what the tool accepts.
check "out-of-range Playlist Defaults are written" reg_values "$key\\Playlist Defaults" \
  Loops=REG_DWORD:10000 Volume=REG_DWORD:101 Speed=REG_SZ:9
rh create 'C:\admin\limits.plst' 'C:\admin\v\b.avi'
rh add 'C:\admin\limits.plst' --loops 9999 --volume 100 --speed 4 'C:\admin\v\b.avi'
check "tool and settings agree on the upper limits" same \
  "$(entries 'C:\admin\limits.plst' | cut -d'|' -f2,7,9 | sort -u)" '9999|100|4
count 2'

quiet wine msiexec /x "$msi" /qn
quiet wine "$built_tool" list "$L"
check "without the library installed: exit 9" test $? = 9
finish
