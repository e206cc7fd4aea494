#!/usr/bin/env bash
# Checks the repository's Markdown (tracked, or new and not ignored): every relative link and
# image points to a file that exists, every #anchor to a heading of its target (GitHub's rule:
# lower case, punctuation other than hyphens and underscores removed, spaces to hyphens, a
# repeated heading numbered -1, -2, ...), and the README's quick start still holds the two
# commands a newcomer runs.
# Names each fault on standard error and exits 1 if there is any. Usage: scripts/check-docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8

status=0
fault() { echo "check-docs: $*" >&2; status=1; }

# The lines outside fenced code blocks, as "NUMBER<TAB>TEXT".
prose() { awk '/^[[:space:]]*```/ { fenced = !fenced; next } !fenced { print NR "\t" $0 }' "$1"; }

# Every link and image target outside code, as "NUMBER<TAB>TARGET".
links() {
    prose "$1" | awk -F'\t' '{
        text = $2; gsub(/`[^`]*`/, "", text)
        while (match(text, /\]\([^) \t]+/)) {
            print $1 "\t" substr(text, RSTART + 2, RLENGTH - 2)
            text = substr(text, RSTART + RLENGTH)
        }
    }'
}

anchors() {
    prose "$1" | sed -nE 's/^[0-9]+\t#{1,6}[[:space:]]+(.*[^#[:space:]])[[:space:]#]*$/\1/p' \
        | sed -E 's/.*/\L&/; s/[^[:alnum:]_ -]//g; y/ /-/' \
        | awk '{ n = seen[$0]++; print (n ? $0 "-" n : $0) }'
}

files=$(git ls-files --cached --others --exclude-standard '*.md' 2>/dev/null) \
    || files=$(find . -name '*.md' -not -path './build*' -not -path './.git/*')
for md in $files; do
    while IFS=$'\t' read -r line target; do
        case "$target" in *:*) continue ;; esac # a URL or mailto:, not a file of ours
        path=${target%%#*}
        anchor=${target#"$path"}
        anchor=${anchor#\#}
        case "$path" in
            "") file=$md ;;
            /*) file=.$path ;;
            *) file=$(dirname "$md")/$path ;;
        esac
        if [ ! -e "$file" ]; then
            fault "$md:$line: $target: no such file"
        elif [ -n "$anchor" ] && [[ $file == *.md ]] && ! anchors "$file" | grep -qxF -- "$anchor"; then
            fault "$md:$line: $target: no heading with that anchor"
        fi
    done < <(links "$md")
done

quick_start=$(awk '/^## / { inside = ($0 == "## Quick start") } inside' README.md)
for command in scripts/bench.sh scripts/test.sh; do
    grep -q "^$command" <<<"$quick_start" || fault "README.md: the quick start does not run $command"
    [ -x "$command" ] || fault "README.md: the quick start's $command is not an executable script"
done
exit "$status"
