#!/bin/sh
# Builds the seed corpora of the fuzz targets in fuzz/seeds/<target>/ from the
# example files, the test files and the test cases. Run from anywhere; the
# seeds are kept in the repository, so this is only needed when the tests or
# examples change.
set -e
cd "$(dirname "$0")/.."
seeds=fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/dmctodeg "$seeds"/conf_process "$seeds"/rules_process \
    "$seeds"/inhexverify "$seeds"/console "$seeds"/device

# Each seed file is named after the SHA-1 of its contents, as the fuzzer names
# the inputs it adds to a corpus.
seed() {  # seed TARGET: standard input becomes a seed of TARGET
    temporary="$seeds/$1/.new"
    cat > "$temporary"
    mv "$temporary" "$seeds/$1/$(sha1sum < "$temporary" | cut -c1-40)"
}
bytes() {  # bytes N...: the bytes with these decimal values
    for value in "$@"; do
        printf "\\$(printf %03o "$value")"
    done
}
chunk() {  # chunk TEXT: one device answer, its length byte first
    bytes "$(printf %s "$1" | wc -c)"
    printf %s "$1"
}

# Angles: the texts of the angle tests, and the help text's examples.
grep -o '"[^"]*"' tests/angles/dmctodeg_test.cpp |
    sed -e 's/^"//' -e 's/"$//' |
    grep -v -e '^$' -e 'Error' -e '%' -e '\.h$' |
    while IFS= read -r text; do printf '%b' "$text" | seed dmctodeg; done
for text in 45:22:33 -103:00:00 :30: 45.22.64 -103.00. -..33 N39d23.7m33.9c \
        39d23.7m33.9C 39.404415D n39.395d33.9c 44d28.5m -73d12.7m 44.30.; do
    printf %s "$text" | seed dmctodeg
done

# Configuration and Rules files of the examples and the tests.
for file in examples/site.cfg tests/config/files/*.cfg tests/config/files/bad/*.cfg \
        tests/console/files/*.cfg tests/transfer/files/*.cfg; do
    seed conf_process < "$file"
done
for file in examples/site.rul tests/rules/files/*.rul tests/transfer/files/*.rul; do
    seed rules_process < "$file"
done

# HEX files: the example image and the records of the HEX check's tests.
seed inhexverify < examples/firmware.hex
printf ':00000001FF\n' | seed inhexverify
printf ':0100000000FF\r\n:00000001FF\r\n' | seed inhexverify
printf '; image\n:10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF' | seed inhexverify
printf ':020000040800F2\n:0400000C01020304E9\n' | seed inhexverify

# Console scripts: every command, with the example files (the console target
# reads files from examples/).
printf 'help\n?\nangles\nx\n' | seed console
printf 'configure site.cfg\ndconfigure\ndeditpath\nrules site.rul\ndrules\n.\nexit\n' |
    seed console
printf 'connect 3\nconnect com21 9600\nconnect 1 1200\nbaud 9600\ndisconnect\n' | seed console
printf 'download\nserialtest 2\nfirmware 1 firmware.hex\ny\n\nfirmware com2 site.cfg\nno\n' |
    seed console
printf 'conf,site.cfg\ndr\n , .\nd\nfrobnicate\n.\nquit\n' | seed console

# Device answers: byte 0 the dialogue, byte 1 the failing write (255 none),
# byte 2 the refused openings, byte 3 the parameter, then the answer chunks.
{ bytes 0 255 0 0; chunk ""
  chunk "$(printf '\r\nVestrimond APRS digipeater\r\nVersion 2.83b\r\nVestro> ')"; } |
    seed device
{ bytes 1 255 0 0; chunk "Vestro> "; } | seed device
{ bytes 2 255 0 0; chunk "$(printf '\r\nBegin serial test: end with <ctrl>-c\r\n')"
  value=64; while [ $value -le 126 ]; do bytes 1 $value; value=$((value + 1)); done; } |
    seed device
{ bytes 3 255 0 2; chunk ""; i=0; while [ $i -lt 20 ]; do bytes 1 6; i=$((i + 1)); done; } |
    seed device
{ bytes 3 255 0 0; chunk ""; bytes 1 21 1 6; i=0; while [ $i -lt 18 ]; do bytes 1 6; i=$((i + 1)); done; } |
    seed device
{ bytes 4 255 0 0; chunk ""; chunk ""; bytes 1 5 0 1 6 0 1 6 0 1 6 1 18 1 6 1 6; } |
    seed device
