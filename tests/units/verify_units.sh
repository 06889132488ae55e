#!/usr/bin/env bash
# The station's systemd user units as systemd reads them: each passes
# systemd-analyze verify --user, its programs the ones just built (a unit
# names them at the path the package installs them to). The timers run again
# after a machine was off, and the bridge and rotctld restart on failure.
#   verify_units.sh SOURCE_DIR BUILD_DIR
# Exit 77 (skipped) where systemd-analyze is missing.
set -euo pipefail
root="$1"
build="$2"
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing: skipped"; exit 77; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" "$scratch/units"
units="$root/packaging/systemd"
failed=0

for unit in "$units"/*.service "$units"/*.timer; do
  sed "s|/usr/bin/heliotrope|$build/heliotrope|" "$unit" >"$scratch/units/$(basename "$unit")"
done
# Each unit alone, so that a failure names its unit; a timer's verify does
# not look into its service's command, so both are verified. The manual
# pages are not installed here: the package check looks them up.
for unit in "$scratch"/units/*; do
  output="$(env XDG_RUNTIME_DIR="$scratch/runtime" systemd-analyze verify --user --man=no "$unit" 2>&1)" || failed=1
  if [ -n "$output" ]; then
    printf 'FAILED  %s:\n%s\n' "$(basename "$unit")" "$output"
    failed=1
  else
    echo "ok      $(basename "$unit") passes systemd-analyze verify"
  fi
done

# expect FILE LINE: the unit holds this line as it is.
expect() {
  if grep -qxF -- "$2" "$units/$1"; then
    echo "ok      $1: $2"
  else
    echo "FAILED  $1 lacks \"$2\""
    failed=1
  fi
}
for timer in heliotrope-sun-noise.timer heliotrope-calibrate.timer; do
  expect "$timer" "Persistent=true"
done
for service in rotctld.service heliotrope-rotctl.service; do
  expect "$service" "Restart=on-failure"
done
expect heliotrope-rotctl.service "Wants=rotctld.service"
expect heliotrope-rotctl.service "After=rotctld.service"
# Daily and weekly, as systemd reads the calendar.
for timer in heliotrope-sun-noise.timer:'*-*-* 12:00:00' heliotrope-calibrate.timer:'Mon *-*-* 12:00:00'; do
  calendar="$(sed -n 's/^OnCalendar=//p' "$units/${timer%%:*}")"
  normalized="$(systemd-analyze calendar "$calendar" | sed -n 's/^ *Normalized form: //p')"
  if [ "$normalized" = "${timer#*:}" ]; then
    echo "ok      ${timer%%:*} runs at $normalized"
  else
    echo "FAILED  ${timer%%:*} runs at \"$normalized\", not \"${timer#*:}\""
    failed=1
  fi
done
exit "$failed"
