#!/usr/bin/env bash
# The README check fails, and says where, when the bridge has renamed an
# option both languages of the manual still name, when one README or one
# manual page gains a command its other language lacks, when a page is in
# one language only or missing from its table of contents, when a link
# leads nowhere, and when a window text is quoted other than the window
# shows it.
#   out_of_step_found.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root="$1"
build="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failed=0

# expect_refusal WHAT PATTERN ARGS...: the check fails and prints PATTERN.
expect_refusal() {
  local what="$1" pattern="$2" output status=0
  shift 2
  output="$("$root/scripts/check-readmes" "$@" 2>&1)" || status=$?
  if [ "$status" -ne 0 ] && grep -qF -- "$pattern" <<<"$output"; then
    echo "ok      $what"
  else
    printf 'FAILED  %s (status %s, no "%s" in:)\n%s\n' "$what" "$status" "$pattern" "$output"
    failed=1
  fi
}

# A bridge whose --threshold is now called --deadband; the others as built.
mkdir "$scratch/build"
ln -s "$build/heliotrope-sim" "$build/heliotrope-radiometer-sim" "$scratch/build/"
printf '#!/bin/sh\n"%s" "$@" | sed "s/--threshold/--deadband/"\n' "$build/heliotrope-rotctl" >"$scratch/build/heliotrope-rotctl"
chmod +x "$scratch/build/heliotrope-rotctl"
expect_refusal "an option renamed in the bridge, in the English manual" \
  "docs/manual/en/bridge.md:" --build-dir "$scratch/build"
expect_refusal "an option renamed in the bridge, named" \
  "--threshold is not an option of heliotrope-rotctl" --build-dir "$scratch/build"
expect_refusal "an option renamed in the bridge, in the Japanese manual" \
  "docs/manual/ja/bridge.md:" --build-dir "$scratch/build"

# A command only the Japanese README shows.
{ cat "$root/README.ja.md"; printf '\n```sh\nbuild/heliotrope-sim --quiet\n```\n'; } >"$scratch/README.ja.md"
expect_refusal "a command in one README only" \
  "command not in README.md: build/heliotrope-sim --quiet" --build-dir "$build" --readme-ja "$scratch/README.ja.md"

# A button quoted as the window does not label it.
sed 's/「計算開始」/「計算を開始」/' "$root/README.ja.md" >"$scratch/README.ja.md"
expect_refusal "a window text misquoted" "「計算を開始」 is not a text" --build-dir "$build" --readme-ja "$scratch/README.ja.md"

# A copy of the manual to spoil, one way at a time.
spoilt() { rm -rf "$scratch/manual"; cp -r "$root/docs/manual" "$scratch/manual"; }

spoilt
printf '\n```sh\nheliotrope-rotctl --history\n```\n' >>"$scratch/manual/ja/stowing.md"
expect_refusal "a command in one language of a manual page only" \
  "en/stowing.md: heliotrope-rotctl --history" --build-dir "$build" --manual "$scratch/manual"

spoilt
rm "$scratch/manual/en/clock.md"
expect_refusal "a page in one language only" "en/clock.md is missing" --build-dir "$build" --manual "$scratch/manual"

spoilt
sed -i '/(clock.md)/d' "$scratch/manual/ja/index.md"
expect_refusal "a page left out of the table of contents" \
  "clock.md is not in the table of contents" --build-dir "$build" --manual "$scratch/manual"

spoilt
sed -i 's/(controller.md#不感帯)/(controller.md#不感帯の測り方)/' "$scratch/manual/ja/bridge.md"
expect_refusal "a link to a heading that is not there" \
  "the link controller.md#不感帯の測り方 leads to no heading" --build-dir "$build" --manual "$scratch/manual"

exit "$failed"
