#!/usr/bin/env bash
# Renders the window's artwork from the SVG drawings in res/art/ into the bitmaps and the
# icon that res/*.rc compiles in. The results are committed: run this only after changing
# a drawing, then look at the contact sheet it leaves in build/art/contact.png.
#
#   res/make_art.sh            render everything into res/
#
# Needs rsvg-convert, ImageMagick and the Inter font (scripts/install-deps art).
# Bitmaps are 24-bit BMP. Pictures laid over other surfaces (toolbar, buttons, splash)
# use pure magenta (255, 0, 255) for the pixels that must not be drawn; their soft edges
# are blended onto a light blue first, so they look smooth on the light styles.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/common.sh"
. "$VELMORA_ROOT/scripts/lib/deps.sh"

RES="$VELMORA_ROOT/res"
ART="$RES/art"
WORK="$VELMORA_BUILD/art"
KEY='#ff00ff'
EDGE_MATTE='#e4edf8'

deps_art
deps_install || exit 1

IM=
for c in magick convert /usr/bin/convert; do
  if command -v "$c" >/dev/null && "$c" -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
    IM=$c
    break
  fi
done
[ -n "$IM" ] || die "ImageMagick not found (scripts/install-deps art)"
command -v rsvg-convert >/dev/null || die "rsvg-convert not found (scripts/install-deps art)"
# Without Inter, fontconfig would quietly substitute another face in the word marks.
fc-list : family | grep -qx 'Inter' || fc-list : family | grep -q '^Inter,' ||
  die "the Inter font is missing (scripts/install-deps art)"

mkdir -p "$WORK"

# render NAME: res/art/NAME.svg at its own size into the work folder, with alpha.
render() {
  rsvg-convert "$ART/$1.svg" -o "$WORK/$1.png"
}

# bmp_opaque PNG OUT: flattens onto white and writes a 24-bit BMP.
bmp_opaque() {
  "$IM" "$1" -background white -alpha remove -alpha off -type TrueColor "BMP3:$2"
}

# bmp_keyed PNG OUT THRESHOLD [MATTE]: pixels less opaque than THRESHOLD become magenta;
# the others are blended onto MATTE, or without MATTE keep their own colour at full
# strength (for a window region, whose edge is hard anyway).
bmp_keyed() {
  local png=$1 out=$2 threshold=$3 matte=${4:-} size flat
  size=$("$IM" identify -format '%wx%h' "$png" 2>/dev/null || identify -format '%wx%h' "$png")
  flat="$WORK/flat.png"
  if [ -n "$matte" ]; then
    "$IM" "$png" -background "$matte" -alpha remove -alpha off "$flat"
  else
    "$IM" "$png" -alpha off "$flat"
  fi
  "$IM" "$png" -alpha extract -threshold "$threshold" "$WORK/mask.png"
  "$IM" -size "$size" "xc:$KEY" "$flat" "$WORK/mask.png" -composite -alpha off \
    -type TrueColor "BMP3:$out"
}

# crop PNG WxH+X+0 OUT.png
crop() {
  "$IM" "$1" -crop "$2" +repage "$3"
}

say "rendering res/art/*.svg"
for name in banner banner_filler footer footer_logo list_background list_icons logo about \
  splash toolbar buttons buttons20 mark16 mark24 mark32 mark48; do
  render "$name"
done
rsvg-convert -w 256 -h 256 "$ART/mark.svg" -o "$WORK/mark256.png"

say "writing bitmaps into res/"
for name in banner banner_filler footer footer_logo list_background list_icons logo about; do
  bmp_opaque "$WORK/$name.png" "$RES/$name.bmp"
done
bmp_keyed "$WORK/splash.png" "$RES/splash.bmp" 50%
bmp_keyed "$WORK/toolbar.png" "$RES/toolbar.bmp" 30% "$EDGE_MATTE"

# The 23 x 20 strip: Select, Remove, Repair, Stop, Browse, Exit; the 20 x 20 one: Save, OK.
i=0
for name in select remove repair stop browse exit; do
  crop "$WORK/buttons.png" "23x20+$((i * 23))+0" "$WORK/btn_$name.png"
  bmp_keyed "$WORK/btn_$name.png" "$RES/btn_$name.bmp" 30% "$EDGE_MATTE"
  i=$((i + 1))
done
i=0
for name in save ok; do
  crop "$WORK/buttons20.png" "20x20+$((i * 20))+0" "$WORK/btn_$name.png"
  bmp_keyed "$WORK/btn_$name.png" "$RES/btn_$name.bmp" 30% "$EDGE_MATTE"
  i=$((i + 1))
done

say "writing res/velmora.ico"
# Each size has its own drawing up to 48; 256 comes from the master drawing.
"$IM" "$WORK/mark16.png" "$WORK/mark24.png" "$WORK/mark32.png" "$WORK/mark48.png" \
  "$WORK/mark256.png" "$RES/velmora.ico"

say "contact sheet: $WORK/contact.png"
"$IM" -background '#c9d3de' \
  \( "$RES/banner.bmp" \( "$RES/banner_filler.bmp" -resize '380x72!' \) +append \) \
  \( -size 780x60 "xc:#fce69a" \) \
  \( \( "$RES/footer.bmp" -resize '780x62!' \) "$RES/footer_logo.bmp" -composite \) \
  \( "$RES/list_background.bmp" -resize '780x276!' \) \
  \( "$RES/logo.bmp" -bordercolor '#c9d3de' -border 10 \
     \( "$RES/toolbar.bmp" -bordercolor '#c9d3de' -border 10 \) +append \) \
  \( \( "$RES/list_icons.bmp" -scale 300% \) \
     \( "$RES/btn_select.bmp" "$RES/btn_remove.bmp" "$RES/btn_repair.bmp" "$RES/btn_stop.bmp" \
        "$RES/btn_browse.bmp" "$RES/btn_exit.bmp" "$RES/btn_save.bmp" "$RES/btn_ok.bmp" \
        -bordercolor '#c9d3de' -border 3 +append -scale 300% \) \
     -bordercolor '#c9d3de' -border 10 +append \) \
  \( "$RES/splash.bmp" -bordercolor '#c9d3de' -border 10 \
     "$RES/about.bmp" -bordercolor '#c9d3de' -border 10 +append \) \
  \( "$WORK/mark16.png" "$WORK/mark24.png" "$WORK/mark32.png" "$WORK/mark48.png" \
     "$WORK/mark256.png" -gravity south -bordercolor '#c9d3de' -border 8 +append \) \
  -gravity west -append +repage -alpha remove -alpha off "$WORK/contact.png"
note "done"
