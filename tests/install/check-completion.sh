#!/usr/bin/env bash
# Drives the bash completion function as bash would, with COMP_WORDS and
# COMP_CWORD, in a folder of day logs and names with blanks.
# Usage: check-completion.sh COMPLETION_FILE
set -uo pipefail
script=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
mkdir -p "$root/home/station logs" "$root/work" "$root/logs/old days"
touch "$root/home/station logs/20110407_AIS_FMT.log" "$root/logs/20110408_AIS_FMT.log" "$root/logs/notes.txt"
cd "$root/work"
export HOME=$root/home

# complete WORD... : the words of the line, the last one under the cursor;
# prints the offered words, one a line, and "compopt ..." for each option set.
complete_line() {
    bash -c 'source "$1"; shift
        compopt() { echo "compopt $*"; }
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _velkais_log; printf "%s\n" "${COMPREPLY[@]}"' _ "$script" "$@"
}
expect() {
    local want=$1; shift
    local got; got=$(complete_line "$@")
    [ "$got" = "$want" ] || { echo "FAIL: velkais-log ${*:2} offers:" >&2; echo "$got" >&2; echo "instead of:" >&2; echo "$want" >&2; status=1; }
}

# Folders complete as file names (bash adds the "/" and no space), blanks kept in one word.
expect $'compopt -o filenames\n../logs' velkais-log --logs ../lo
expect $'compopt -o filenames\n../logs/old days' velkais-log --logs '../logs/o'
expect $'compopt -o filenames\n../logs/old days' velkais-log --logs = '../logs/old\ '
expect $'compopt -o filenames\n~/station logs' velkais-log --logs '~/st'
# --file looks in the --logs folder, however it was given.
expect $'compopt -o filenames\n20110408_AIS_FMT.log' velkais-log hours --file 2
expect $'compopt -o filenames\n20110407_AIS_FMT.log' velkais-log hours --logs '~/station\ logs' --file 2
expect $'compopt -o filenames\n20110407_AIS_FMT.log' velkais-log hours --logs = '"'"$HOME/station logs"'"' --file 2
expect $'compopt -o filenames\n20110408_AIS_FMT.log' velkais-log kml --logs = ../logs --file ''
# Only the formats the subcommand takes.
expect $'csv\njsonl\ngeojson' velkais-log records --format ''
expect $'gpx\ngeojson' velkais-log --logs ../logs track --format ''
expect $'jsonl' velkais-log records --format = j
expect $'text\ncsv\njsonl\ngeojson' velkais-log passages --format ''
expect $'hour\nday\nmonth' velkais-log passages --count ''
expect $'text\ncsv\njson' velkais-log report --format ''
# The command as README gives it, with its path.
expect $'records' build/release/cli/velkais-log rec
expect $'--logs' build/release/cli/velkais-log records --lo

exit $status
