#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The bash completion in a non-interactive bash, as bash-completion loads it:
# the candidates for partial command lines, each command's options against
# its --help, payload types, and file names in a folder of known files.
# usage: completion_test.sh TOOL BASH_COMPLETION COMPLETION WORK_DIR
set -uo pipefail
tool=$1
source "$2"
source "$3"
rm -rf "$4" && mkdir -p "$4/calls" && cd "$4" || exit 1
touch speech.wav speech.g723 call.pcap trunk.pcapng notes.txt
faults=0
fail() { echo "FAIL: $*" >&2; faults=$((faults + 1)); }

# The candidates for a command line that ends where the cursor is, sorted,
# on one line.
candidates() {
  local line=$1
  COMP_LINE=$line COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _g723 g723 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}
expect() {
  local got
  got=$(candidates "$1")
  [ "$got" = "$2" ] || fail "'$1': got '$got', expected '$2'"
}

expect "g723 " "--help --version decode encode info pcap receive relay roundtrip send"
expect "g723 r" "receive relay roundtrip"
for command in encode decode roundtrip info pcap send receive relay; do
  expected=$("$tool" "$command" --help | sed -n '/^options:/,/^$/p' |
    sed -nE 's/^  (-h, )?(--[a-z-]+).*/\2/p' | sort | paste -sd ' ')
  expect "g723 $command --" "$expected"
done
expect "g723 encode --no-" "--no-highpass --no-vad"
expect "g723 send --pt 9" "96 97 98 99"
[ "$(candidates "g723 receive --pt " | wc -w)" = 33 ] || fail "'receive --pt ': not 4 and 96 to 127"
expect "g723 send --frames-per-packet " "1 2 3 4 5 6 7 8"
expect "g723 decode --loss " ""
expect "g723 encode sp" "speech.g723 speech.wav"
expect "g723 decode --seed 3 speech.g723 ca" "call.pcap calls"
expect "g723 pcap " "call.pcap calls trunk.pcapng"
expect "g723 pcap --pt 96 call.pcap " "calls"
expect "g723 send --pt 96 speech.wav " "udp://"
expect "g723 send speech." "speech.g723 speech.wav"
expect "g723 receive " "udp://"
expect "g723 relay --profile " "clean congested mobile wifi"
expect "g723 receive udp://5004 s" "speech.g723 speech.wav"
exit $((faults > 0))
