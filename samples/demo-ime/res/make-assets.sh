#!/usr/bin/env bash
# Redraws the demo product's icons and skin bitmaps with ImageMagick. The
# results are committed beside this script; the build only uses them.
# Each binary gets its own colour and letter so that Explorer, the Start
# menu and the update's identity carry-over show which file is which.
set -euo pipefail
cd "$(dirname "$0")"
CONVERT=/usr/bin/convert
FONT=DejaVu-Sans-Bold

icon() {  # name, background, letter
  local name="$1" bg="$2" letter="$3" size
  local parts=()
  for size in 32 16; do
    local part; part="$(mktemp --suffix=.png)"
    "$CONVERT" -size "${size}x${size}" xc:none -fill "$bg" \
      -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $((size / 5)),$((size / 5))" \
      -fill white -font "$FONT" -pointsize $((size * 11 / 16)) -gravity center \
      -annotate +0+0 "$letter" "PNG32:$part"
    parts+=("$part")
  done
  # BMP-coded images (not PNG) inside the .ico: the resource compiler and
  # every Windows version read them.
  "$CONVERT" "${parts[@]}" -compress none "ICO:$name.ico"
  rm -f "${parts[@]}"
}

icon ime         '#b22222' Z
icon mb          '#2e7d32' M
icon skin        '#6a1b9a' S
icon interface   '#37474f' I
# The settings program: icon 0 is its own, the others are the shortcuts'
# icons (码表查询 uses index 2, 按键功能 3, 添加用户词 6).
icon config-0    '#1565c0' C
icon config-1    '#00838f' 1
icon config-2    '#ef6c00' Q
icon config-3    '#5d4037' K
icon config-4    '#558b2f' 4
icon config-5    '#ad1457' 5
icon config-6    '#283593' +

# Skin bitmaps 103 (candidate window background) and 104 (status bar),
# classic BMP with a plain BITMAPINFOHEADER.
"$CONVERT" -size 96x24 gradient:'#fdfdfd-#d8e4f4' -fill '#6a1b9a' \
  -draw "rectangle 0,0 95,1" -type TrueColor "BMP3:skin-103.bmp"
"$CONVERT" -size 48x16 xc:'#6a1b9a' -fill white -font "$FONT" -pointsize 10 \
  -gravity center -annotate +0+0 'ZZ' -type TrueColor "BMP3:skin-104.bmp"
