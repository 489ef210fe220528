#!/bin/sh
# Each folder includes only itself and the folders below it. A line of the
# table names a folder and the folders it may include besides its own. The
# simulator, the reference device, includes nothing of the program.
# Prints every include that breaks the layering and fails if there is one.
cd "${1:-.}" || exit 2
status=0
while read -r folder allowed; do
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [ -f "$file" ] || continue
        grep -o '^#include "[a-z_]*/' "$file" | sed 's/^#include "//; s#/$##' | sort -u |
        while read -r used; do
            case " $folder $allowed " in
                *" $used "*) ;;
                *) echo "$file includes $used/"; exit 1 ;;
            esac
        done || status=1
    done
done <<'TABLE'
common
diagnostics common
serial      common diagnostics
angles      common
config      common diagnostics serial angles
rules       common diagnostics serial angles config
transfer    common diagnostics serial angles config rules
console     common diagnostics serial angles config rules transfer
sim
TABLE
exit $status
