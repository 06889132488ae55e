#!/usr/bin/env bash
# The station's systemd user units as systemd reads them: each passes
# systemd-analyze verify --user, with the programs just built standing where
# the package installs them. Exit 77 (skipped) where systemd-analyze is missing.
#   verify_units.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root="$1"
build="$2"
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing: skipped"; exit 77; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# A user unit is checked against a user manager's runtime directory.
mkdir -m 700 "$scratch/runtime" "$scratch/units"
failed=0
for unit in "$root"/packaging/systemd/*.service "$root"/packaging/systemd/*.timer; do
  sed "s|/usr/bin/heliotrope|$build/heliotrope|" "$unit" >"$scratch/units/$(basename "$unit")"
done
# One at a time, so that a failure names its unit; a timer's verify does not
# look into its service's command, so both are verified. The manual pages
# are not installed here: the package check looks them up.
for unit in "$scratch"/units/*; do
  output="$(env XDG_RUNTIME_DIR="$scratch/runtime" systemd-analyze verify --user --man=no "$unit" 2>&1)" || failed=1
  if [ -n "$output" ]; then
    printf 'FAILED  %s:\n%s\n' "$(basename "$unit")" "$output"
    failed=1
  else
    echo "ok      $(basename "$unit")"
  fi
done

# The example options are ones the program takes: a timer whose example is
# refused would fail on every run. Each is started against no rotctld, in a
# scratch home with no bridge to ask; still running after two seconds means
# its options were taken.
examples=(calibrate.env:HELIOTROPE_CALIBRATE_OPTIONS:--calibrate sun-noise.env:HELIOTROPE_SUN_NOISE_OPTIONS:--sun-noise
          rotctl.env:HELIOTROPE_ROTCTL_OPTIONS:)
for example in "${examples[@]}"; do
  IFS=: read -r file variable option <<<"$example"
  options="$(set -a; source "$root/packaging/systemd/$file"; printf '%s' "${!variable}")"
  status=0
  # shellcheck disable=SC2086 # split as systemd splits $VARIABLE
  env XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch" XDG_DATA_HOME="$scratch" \
    timeout 2 "$build/heliotrope-rotctl" $option $options --rotctld 127.0.0.1:1 --port 0 >"$scratch/out" 2>&1 || status=$?
  if [ "$status" -eq 124 ]; then
    echo "ok      $file is taken"
  else
    printf 'FAILED  %s (exit %s):\n%s\n' "$file" "$status" "$(cat "$scratch/out")"
    failed=1
  fi
done
exit "$failed"
