#!/usr/bin/env bash
# Builds the bundled demo show: puts a copy of demo/Demo.zel in OUTDIR/show
# with everything it names (the photographs of Debian's mate-backgrounds
# package, a button theme and a logo, both drawn here with ffmpeg), packs
# that folder into OUTDIR/Demo, a copy of the player with the show appended,
# and has that player find and check its show.
#
#   demo/build-demo.sh ZELTOOL ZELPLAYER OUTDIR
#
# Nothing is downloaded and nothing is written outside OUTDIR.
set -euo pipefail

PHOTO_DIR=${ZEL_DEMO_PHOTOS:-/usr/share/backgrounds/mate/nature}
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

die() {
  echo "build-demo: $*" >&2
  exit 1
}

[ $# -eq 3 ] || die "usage: build-demo.sh ZELTOOL ZELPLAYER OUTDIR"
ZELTOOL=$1
ZELPLAYER=$2
OUTDIR=$3
PROJECT="$(cd "$(dirname "$0")" && pwd)/Demo.zel"
STAGE="$OUTDIR/show"

[ -x "$ZELTOOL" ] || die "no zeltool at $ZELTOOL (build first)"
[ -x "$ZELPLAYER" ] || die "no zelplayer at $ZELPLAYER (build first)"
command -v ffmpeg >/dev/null || die "ffmpeg is missing: install it with scripts/install-deps"

# The photographs the project names as photos\NAME.jpg, one a line.
photos_named() {
  grep -o 'photos\\[A-Za-z0-9_-]*\.jpg' "$PROJECT" | sed 's/^photos\\//' | sort -u
}

copy_photos() {
  local names name
  names=$(photos_named)
  [ -n "$names" ] || die "$PROJECT names no photographs"
  mkdir -p "$STAGE/photos"
  for name in $names; do
    [ -f "$PHOTO_DIR/$name" ] ||
      die "photograph $PHOTO_DIR/$name is missing: install mate-backgrounds: scripts/install-deps"
    cp "$PHOTO_DIR/$name" "$STAGE/photos/$name"
  done
  echo "build-demo: $(echo "$names" | wc -l) photographs from $PHOTO_DIR"
}

# One picture drawn by an ffmpeg filter over a transparent canvas.
draw() {  # OUT SIZE FILTER
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=black@0:s=$2,format=rgba" \
    -vf "$3" -frames:v 1 "$1"
}

# A 48 x 48 rounded square with a vertical gradient from the top colour to
# the bottom colour (R G B each); its edge is soft over one pixel.
button_face() {  # OUT R1 G1 B1 R2 G2 B2
  local shape="255*clip(16.5-hypot(max(0\\,abs(X-23.5)-7.5)\\,max(0\\,abs(Y-23.5)-7.5))\\,0\\,1)"
  draw "$1" 48x48 "geq=r='$2+($5-$2)*Y/47':g='$3+($6-$3)*Y/47':b='$4+($7-$4)*Y/47':a='$shape'"
}

# Theme "demo": every state cut from its own face picture, 16-pixel corners,
# the middle column and row stretched to the button's width; white captions.
make_button_theme() {
  local dir="$STAGE/buttons/demo" state section pieces
  mkdir -p "$dir"
  button_face "$dir/normal.png" 70 130 210 25 60 140
  button_face "$dir/hover.png" 110 170 245 45 95 185
  button_face "$dir/click.png" 20 50 120 60 110 200
  {
    for state in normal:NormalState hover:HoverState click:ClickState; do
      section=${state#*:}
      pieces=${state%%:*}.png
      echo "[$section]"
      echo "LeftTop=$pieces,0,0,16,16"
      echo "Top=$pieces,16,0,17,16"
      echo "RightTop=$pieces,32,0,48,16"
      echo "Right=$pieces,32,16,48,32"
      echo "RightBottom=$pieces,32,32,48,48"
      echo "Bottom=$pieces,16,32,17,48"
      echo "LeftBottom=$pieces,0,32,16,48"
      echo "Left=$pieces,0,16,16,32"
      echo "Center=$pieces,16,16,17,32"
    done
    echo "[TextParams]"
    echo "Color=255,255,255"
    echo "BtnMinWidth=300"
  } >"$dir/btn.ini"
}

# The name on a translucent blue plate with rounded corners.
make_logo() {
  [ -f "$FONT" ] || die "font $FONT is missing: install fonts-dejavu-core with scripts/install-deps"
  local plate="220*clip(12.5-hypot(max(0\\,abs(X-119.5)-107.5)\\,max(0\\,abs(Y-35.5)-23.5))\\,0\\,1)"
  draw "$STAGE/logo.png" 240x72 "geq=r=32:g=80:b=160:a='$plate',drawtext=fontfile=$FONT:text=zelplayer:fontsize=40:fontcolor=white:x=(w-text_w)/2:y=(h-text_h)/2"
}

main() {
  rm -rf "$STAGE"
  mkdir -p "$STAGE"
  cp "$PROJECT" "$STAGE/Demo.zel"
  copy_photos
  make_button_theme
  make_logo
  "$ZELTOOL" pack --out "$OUTDIR/Demo" --exe "$ZELPLAYER" "$STAGE/Demo.zel"
  SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} "$OUTDIR/Demo" --check
}

main
