#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The manual page against the tool: the same commands as 'g723 --help', and
# in each command's section the same options with the same value names, in
# the same order, as 'g723 COMMAND --help' (--help itself is described once,
# under OPTIONS); and the page renders without a warning.
# usage: man_page_test.sh TOOL PAGE_SOURCE PAGE
set -euo pipefail
tool=$1 source=$2 page=$3
faults=0
fail() { echo "FAIL: $*" >&2; faults=$((faults + 1)); }

# "--loss PERCENT" for each option line of a command's help.
help_options() {
  "$tool" "$1" --help | sed -n '/^options:/,/^$/p' |
    sed -nE 's/^  (-h, )?(--[a-z-]+)( [A-Z]+)?.*/\2\3/p' | grep -vx -- --help
}
# The same from the command's section of the page source: "*--loss* _PERCENT_".
page_options() {
  sed -n "/^## $1\$/,/^#/p" "$source" | sed -nE 's/^\*(--[a-z-]+)\*( _([A-Z]+)_)?$/\1 \3/p' |
    sed 's/ $//'
}

commands=$("$tool" --help | sed -n '/^commands:/,/^$/p' | sed -nE 's/^  ([a-z]+) .*/\1/p')
sections=$(sed -nE 's/^## ([a-z]+)$/\1/p' "$source")
[ "$commands" = "$sections" ] ||
  fail "commands in 'g723 --help' and sections of the page differ:" \
    "$(diff <(echo "$commands") <(echo "$sections") | grep '^[<>]')"
for command in $commands; do
  options=$(help_options "$command")
  [ -n "$options" ] || [ "$command" = info ] || fail "no options read from 'g723 $command --help'"
  if ! difference=$(diff <(echo "$options") <(page_options "$command")); then
    fail "options of '$command' ('<' --help, '>' the page):"$'\n'"$(grep '^[<>]' <<<"$difference")"
  fi
done
for option in --help --version; do
  grep -q "^\*$option\*\$\|, \*$option\*\$" "$source" || fail "the page does not describe $option"
done

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings:"$'\n'"$warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
for heading in NAME SYNOPSIS COMMANDS OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -qx "$heading" <<<"$rendered" || fail "no $heading section in the rendered page"
done
exit $((faults > 0))
