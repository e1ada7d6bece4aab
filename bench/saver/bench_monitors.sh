#!/usr/bin/env bash
# What "Each Monitor Own Video" costs and what the viewer sees with it, on Xephyr rigs of one,
# two and three monitors (1280x720, 1024x768, 800x600 side by side), the installed saver with
# the classic video renderer:
#  - per monitor, the time a pixel probe on its centre sees anything but the clips' colours at
#    each change of a 10-entry playlist of solid-colour 2 s clips (10 changes, the last the
#    loop back), median and worst, and how long the outgoing colour stays past its 2 s; both
#    codecs (Microsoft Video 1 AVI 320x240 without sound, H.264 + AAC MP4 1280x720);
#  - the run's peak working set (VmHWM) with 1, 2 and 3 monitors against 1;
#  - the saver process's CPU time over 20 s of steady playback of 720p H.264 with sound, two
#    monitors each playing its own against the main monitor alone.
# Usage: bench_monitors.sh BUILD_DIR   (needs Reelhaven.msi built: target reelhaven_msi)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
work="$build/bench/monitors" && mkdir -p "$work"
. "$root/tests/run/e2e_lib.sh"
. "$root/tests/seam/seam_kit.sh"
trap 'stop_probes; [ -n "$run_pid" ] && kill "$run_pid"; drop_two_monitor_rig; wine_env_stop' EXIT
wine_env_start "$work/env" 640x480
tool="$build/tests/run/run_tool.exe"
scr='C:\windows\system32\Reelhaven.scr'
install_saver "$(winepath -w "$build/Reelhaven.msi")" || { echo "Reelhaven.msi did not install"; exit 1; }

# Clips on the Linux side, reached through Z:, kept between runs. The CPU clip is a moving
# picture, so that decoding costs what it would with a real video.
media="$work/media" && mkdir -p "$media"
wmedia=$(winepath -w "$media")
colours=(red lime blue yellow)
colour_clips "$media" "${colours[@]}"
[ -s "$media/moving.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=25" \
  -f lavfi -i "sine=f=440" -t 45 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$media/moving.mp4"
cp -f "$media/moving.mp4" "$media/moving2.mp4"
for ext in avi mp4; do
  make_list "$wmedia\\seam-$ext.plst" $(for i in $(seq 0 9); do printf '%s\\%s.%s ' "$wmedia" "${colours[i % 4]}" $ext; done)
done
make_list "$wmedia\\moving.plst" "$wmedia\\moving.mp4" "$wmedia\\moving2.mp4"

# The saver's Unix process on this display (Wine's launcher shares the command line; the
# saver itself is the largest).
saver_pid() {
  local pid
  for pid in $(pgrep -f Reelhaven.scr); do
    [ "$(cat /proc/$pid/comm 2>/dev/null)" != timeout ] && grep -qzx "DISPLAY=$DISPLAY" "/proc/$pid/environ" 2>/dev/null &&
      echo "$(awk '/VmRSS/ {print $2}' /proc/$pid/status 2>/dev/null) $pid"
  done | sort -n | tail -1 | awk '{print $2}'
}
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }  # utime + stime
# A lit pixel in the 64 x 64 square round a monitor's centre: the main one, and the second
# when every monitor plays.
lit_centre() { lit_in 64 64 $(($1 - 32)) $(($2 - 32)); }
playing() { lit_centre ${centres[0]} && { [ "$chosen" = Main ] || lit_centre ${centres[1]}; }; }

declare -A hwm cpu
seam_rows=()
# seam_run MONITORS EXT: ten changes on every monitor of the rig, then a key.
seam_run() {
  local n=$1 ext=$2 i logs=() figures
  settings Playlist=REG_SZ:"$wmedia\\seam-$ext.plst" 'Each Monitor Own Video=REG_DWORD:1'
  for i in "${!centres[@]}"; do
    logs+=("$work/probe-$n-$ext-$i.log")
    : >"${logs[$i]}"
    start_probe "$work/pixel_probe" "${logs[$i]}" ${centres[$i]}
  done
  start_run wine "$scr" /s
  local deadline=$((SECONDS + 90)) log done_all
  while [ $SECONDS -lt $deadline ]; do
    done_all=1
    for log in "${logs[@]}"; do [ "$(switches "$log" | wc -l)" -ge 10 ] || done_all=0; done
    [ $done_all = 1 ] && break
    sleep 0.2
  done
  local pid
  pid=$(saver_pid)
  hwm[$n-$ext]=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  end_by "key a" "$n monitors, $ext"
  stop_probes
  for i in "${!logs[@]}"; do
    read -ra figures < <(seam_figures "${logs[$i]}" 2)
    seam_rows+=("$(printf '%8s %-5s %7d %-9s %8d %9.1f %11.1f %9.1f %10.1f' "$n" "$ext" $((i + 1)) "${sizes[$i]}" "${figures[@]}")")
  done
}

sizes=(1280x720 1024x768 800x600)
for n in 1 2 3; do
  two_monitor_rig "$work/prefix" "${sizes[@]:0:n}" || { echo "no $n-monitor display"; exit 1; }
  mapfile -t centres < <(monitor_centres)
  [ ${#centres[@]} = "$n" ] || { echo "Xinerama lists ${#centres[@]} monitors, not $n"; exit 1; }
  seam_run "$n" avi
  seam_run "$n" mp4
  [ "$n" = 2 ] || { drop_two_monitor_rig; continue; }
  # CPU: the main monitor alone (one player, as without the option), then both.
  for chosen in Main all; do
    settings Playlist=REG_SZ:"$wmedia\\moving.plst" 'Each Monitor Own Video=REG_DWORD:1' \
      Monitors=REG_SZ:"${chosen/all/}"
    start_run wine "$scr" /s
    poll 30 playing || echo "  (CPU, $chosen: not every monitor lit after 30 s)"
    sleep 3
    pid=$(saver_pid) t0=$(cpu_ticks "$pid")
    sleep 20
    cpu[$chosen]=$(( ($(cpu_ticks "$pid") - t0) * 1000 / $(getconf CLK_TCK) ))
    end_by "key a" "CPU, $chosen"
  done
  drop_two_monitor_rig
done

echo
echo "seams per monitor, 10-entry playlist of 2 s solid-colour clips, classic renderer (goal: black <= 40 ms worst)"
echo "monitors codec monitor size      switches black med black worst  held med held worst (ms)"
printf '%s\n' "${seam_rows[@]}"
echo
echo "peak working set (VmHWM of Reelhaven.scr) with each monitor its own video; limits 2 x 1.10 and 3 x 1.10 of 1 monitor"
for ext in avi mp4; do
  awk -v ext=$ext -v a="${hwm[1-$ext]:-0}" -v b="${hwm[2-$ext]:-0}" -v c="${hwm[3-$ext]:-0}" 'BEGIN {
    r2 = a ? b / a : 0; r3 = a ? c / a : 0
    printf "  %-4s 1 monitor %7.1f MB | 2 monitors %7.1f MB  x%.2f %s | 3 monitors %7.1f MB  x%.2f %s\n", ext, a / 1024,
           b / 1024, r2, r2 <= 2.2 ? "within 2.2" : "OVER 2.2", c / 1024, r3, r3 <= 3.3 ? "within 3.3" : "OVER 3.3" }'
done
echo
echo "CPU time (utime + stime of Reelhaven.scr) over 20 s of steady 1280x720 H.264 + AAC playback, 2-monitor rig"
awk -v one="${cpu[Main]:-0}" -v two="${cpu[all]:-0}" 'BEGIN {
  printf "  main monitor only %6d ms (%.0f %% of a core) | both monitors, own video %6d ms (%.0f %%) | ratio x%.2f\n",
         one, one / 200, two, two / 200, one ? two / one : 0 }'
