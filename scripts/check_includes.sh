#!/usr/bin/env bash
# Checks that every #include "..." follows the layers: a folder may include
# its own files and those of the folders that README.md's table of allowed
# includes lists for it.  Prints each edge the table does not allow as
# FILE:LINE and exits 1 when there is one.  The seam platform/platform.h and
# each backend's controls (platform/*/*_controls.h) count as folders of
# their own, so the backends' other headers stay theirs.
set -euo pipefail
cd "$(dirname "$0")/.."

# The table: rows "| FOLDER[, FOLDER...] | TARGET TARGET ... |" under the
# header row "| folder | may include |", up to the first line that is not a row.
rules=$(awk '
    /^\| folder \| may include \|/ { inside = 1; next }
    inside && !/^\|/ { exit }
    inside && /^\|[- |]+\|$/ { next }
    inside {
        split($0, cell, "|")
        gsub(/`/, "", cell[2]); gsub(/`/, "", cell[3])
        n = split(cell[2], folders, ",")
        for (i = 1; i <= n; ++i) {
            f = folders[i]; gsub(/^ +| +$/, "", f)
            print f "\t" cell[3]
        }
    }' README.md)
if [ -z "$rules" ]; then
    echo "check_includes: README.md has no table \"| folder | may include |\"" >&2
    exit 2
fi

# The folder a path belongs to: its directory, but the seam and the backends' controls stand alone.
folder_of() {
    case "$1" in
        platform/platform.h | platform/*/*_controls.h) echo "$1" ;;
        */*) echo "${1%/*}" ;;
        *) echo "." ;;
    esac
}

failures=0
while IFS= read -r file; do
    from=$(folder_of "$file")
    case "$file" in platform/*/*_controls.h) from=${file%/*} ;; esac  # a controls header follows its backend's row
    # Subfolders of tests/, tools/ and bench/ follow their top folder's row.
    case "$from" in tests/*|tools/*|bench/*|content/*) from=${from%%/*} ;; esac
    allowed=$(printf '%s\n' "$rules" | awk -F'\t' -v f="$from" '$1 == f { print $2; found = 1 } END { if (!found) print "?" }')
    while IFS=: read -r line target; do
        [ -n "$target" ] || continue
        case "$target" in */*) ;; *) continue ;; esac  # generated headers of the build tree
        to=$(folder_of "$target")
        [ "$to" = "$(folder_of "$file")" ] && continue
        [ "${to%/*}" = "$(folder_of "$file")" ] && continue  # a backend's own controls
        ok=0
        for entry in $allowed; do
            if [ "$entry" = "everything" ] || [ "$entry" = "$to" ]; then ok=1; break; fi
        done
        if ((!ok)); then
            if [ "$allowed" = "?" ]; then
                echo "$file:$line: folder $from is not in README.md's table of allowed includes" >&2
            else
                echo "$file:$line: $from may not include $target (see the table of allowed includes in README.md)" >&2
            fi
            failures=$((failures + 1))
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^([0-9]+):.*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1:\2/')
done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.c' '*.S' | grep -v '^build')

if ((failures)); then
    echo "check_includes: $failures include(s) against the layers" >&2
    exit 1
fi
echo "check_includes: every include follows the layers" >&2
