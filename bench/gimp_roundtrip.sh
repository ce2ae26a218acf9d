#!/bin/sh
# How long a render takes through GIMP against the command line: for each
# size, terravane render of the default planet to a PNG, and a headless GIMP
# session that makes an image, runs plug-in-terravane RUNS times and exports
# a PNG, less the same session without the plug-in (GIMP's start and export).
#   bench/gimp_roundtrip.sh [BUILD] [SIZE...]     (default: build 1024 2048)
set -eu
BUILD=$(cd "${1:-build}" && pwd)
[ $# -gt 0 ] && shift
SIZES=${*:-1024 2048}
RUNS=3
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home" "$WORK/gimp-home" "$WORK/profile/gradients" "$WORK/plug-ins"
SYSTEM=$(pkg-config --variable=gimplibdir gimp-2.0)/plug-ins
for p in script-fu file-png; do ln -s "$SYSTEM/$p" "$WORK/plug-ins/$p"; done
export TERRAVANE_HOME="$WORK/home" HOME="$WORK/gimp-home" XDG_CACHE_HOME="$WORK/gimp-home/cache"
export GIMP2_DIRECTORY="$WORK/profile" GIMP_TESTING_PLUGINDIRS="$BUILD/gimp-plug-ins:$WORK/plug-ins"

now() { date +%s.%N; }
session() {  # size runs: seconds of one GIMP session
    {
        echo "(let* ((image (car (gimp-image-new $1 $1 RGB)))"
        echo "       (layer (car (gimp-layer-new image $1 $1 RGB-IMAGE \"l\" 100 LAYER-MODE-NORMAL))))"
        echo "  (gimp-image-insert-layer image layer 0 0)"
        i=0
        while [ $i -lt "$2" ]; do
            echo "  (plug-in-terravane RUN-NONINTERACTIVE image layer \"\" \"\")"
            i=$((i + 1))
        done
        echo "  (file-png-save2 RUN-NONINTERACTIVE image layer \"$WORK/gimp.png\" \"gimp.png\" 0 6 0 0 0 0 0 0 0)"
        echo "  (gimp-image-delete image))"
        echo "(gimp-quit 0)"
    } >"$WORK/session.scm"
    start=$(now)
    gimp -i -d -f -b - <"$WORK/session.scm" >/dev/null 2>&1
    echo "$(now) - $start" | bc
}

session 64 1 >/dev/null  # GIMP's first start with a new profile asks every plug-in what it offers
echo "cores: $(nproc)"
for size in $SIZES; do
    start=$(now)
    "$BUILD/terravane" render --defaults --quiet --size "${size}x$size" -o "$WORK/cli.png"
    cli=$(echo "$(now) - $start" | bc)
    bare=$(session "$size" 0)
    with=$(session "$size" "$RUNS")
    each=$(echo "scale=3; ($with - $bare) / $RUNS" | bc)
    echo "${size}x$size: terravane render ${cli} s; in GIMP ${each} s a run (a session with $RUNS runs ${with} s, without ${bare} s)"
done
