# Shell helpers the test and benchmark scripts share; source it.

# avi_clip FILE LAVFI_SOURCE SECONDS: a clip in Microsoft Video 1, which Wine decodes without
# GStreamer plug-ins; made once, kept while it exists.
avi_clip() {
  [ -s "$1" ] || ffmpeg -loglevel error -y -f lavfi -i "$2" -t "$3" -c:v msvideo1 -pix_fmt rgb555le "$1"
}

# Without a window manager on the test display, Wine waits two seconds for one to withdraw
# every managed window it destroys; unmanaged windows are destroyed at once. The setting is
# prefix-wide: unmanaged_windows puts back what was there when the script exits.
unmanaged_windows() {
  wm_key='HKCU\Software\Wine\X11 Driver'
  wm_old=$(wine reg query "$wm_key" /v Managed 2>/dev/null | tr -d '\r' | awk '$1 == "Managed" {print $3}' || true)
  trap restore_managed_windows EXIT
  wine reg add "$wm_key" /v Managed /d N /f >/dev/null 2>&1
}
restore_managed_windows() {
  if [ -n "$wm_old" ]; then wine reg add "$wm_key" /v Managed /d "$wm_old" /f >/dev/null 2>&1
  else wine reg delete "$wm_key" /v Managed /f >/dev/null 2>&1; fi
}
