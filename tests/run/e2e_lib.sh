# Shared by the run's end-to-end scripts (sourced): failure counting, the saver's registry
# settings and the colour at the screen's centre.
key='HKCU\Software\Halcyra\Reelhaven'
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
note() { echo "--- $*"; }

# The colour of the screen's centre: red, green, blue, black or other.
colour() {
  import -window root -crop 1x1+960+540 txt:- 2>/dev/null | tail -1 |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '{ r=$1; g=$2; b=$3;
           if (r > 20000 && g < 8000 && b < 8000) print "red";
           else if (g > 20000 && r < 8000 && b < 8000) print "green";
           else if (b > 20000 && r < 8000 && g < 8000) print "blue";
           else if (r < 3000 && g < 3000 && b < 3000) print "black";
           else print "other" }'
}

settings() { # NAME=TYPE:VALUE... on top of a fresh key with the classic renderer on
  wine reg delete "$key" /f >/dev/null 2>&1
  wine reg add "$key" /v 'Use Classic Video Renderer' /t REG_DWORD /d 1 /f >/dev/null 2>&1
  local pair name value
  for pair in "$@"; do
    name=${pair%%=*} value=${pair#*=}
    wine reg add "$key" /v "$name" /t "${value%%:*}" /d "${value#*:}" /f >/dev/null 2>&1
  done
}
