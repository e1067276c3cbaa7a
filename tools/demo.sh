#!/bin/bash
# Try tarnel without hardware: a few simulated modems in a private /dev, and the
# program (or any command) run against them on this terminal.
#
#   tools/demo.sh                           # build/tarnel, the interactive menu
#   tools/demo.sh build/tarnel sms read
#   DEMO_TIME1=0 tools/demo.sh              # tarnel's default (slower) timing
#   MODEMSIM_LOGDIR=/tmp/demo tools/demo.sh # keep what each modem received
#
# The command runs in a scratch folder whose set.ini shortens serial reads
# (time1, 100 by default) so the scan of the silent modem takes seconds, not
# half a minute, and keeps tarnel's journal there.  Needs root, as tarnel itself does.
#
# tarnel's switches VT-DEBUG, VT-STAMP, VT-OUT and VT-MC323 are environment
# variables with a "-" in their names. No shell can assign those, and dash
# drops them from the environment it hands on, so this script runs under
# bash, which passes them through. Set them with env (sudo resets the
# environment, so put env after it):
#   sudo env 'VT-DEBUG=1' tools/demo.sh
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
if [ $# -eq 0 ]; then
    set -- "$root/build/tarnel"
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "demo.sh: run as root (tarnel and the private /dev both need it)" >&2
    exit 1
fi
program=$1
shift
case $program in
    */*) [ -x "$program" ] && program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program") ;;
esac
if [ ! -x "$program" ] && ! command -v "$program" > /dev/null 2>&1; then
    echo "demo.sh: $program not found; build it first (cmake -S . -B build && cmake --build build)" >&2
    exit 1
fi

scratch=$(mktemp -d /tmp/tarnel-demo.XXXXXX)
trap 'rm -rf "$scratch"' EXIT INT TERM
time1=${DEMO_TIME1:-100}
# The simulated modems' journal stays in the scratch folder, never the machine's.
printf '[comm]\njournaldir=%s/journal\n' "$scratch" > "$scratch/set.ini"
if [ "$time1" -gt 0 ]; then
    printf 'def=1\ntime1=%s\n' "$time1" >> "$scratch/set.ini"
fi
cat > "$scratch/modems.json" <<'JSON'
{"modems": [
  {"path": "/dev/ttyUSB0", "model": "CPhone_EC20F", "csq": "23,99",
   "storage": {
     "SM": [{"from": "+8613912345678", "time": "24-03-01 09:15:00", "text": "Hello from the simulated SIM card"},
            {"from": "10086", "time": "24-03-02 18:40:12", "text": "您的话费余额为 12.50 元。", "stat": 0},
            {"from": "+8613800001111", "time": "24-03-03 07:00:00", "split": {"ref": 42},
             "text": "A long message comes in parts: the modem stores each part as its own PDU, and the reader joins them again by their reference and sequence numbers, whatever order they were stored in."}],
     "ME": [{"from": "+8613700002222", "time": "24-03-04 12:00:00", "text": "Kept in the modem's own memory"}]}},
  {"path": "/dev/ttyUSB1", "model": "CPhone_K2210_ME", "sim": false},
  {"path": "/dev/ttyUSB2", "model": "CPhone_M26", "faults": {"silent": true}},
  {"path": "/dev/ttyUSB3", "model": "CPhone_MC323_ON", "speeds": [115200], "csq": "18,99",
   "storage": {"ME": [{"from": "13912345678", "time": "2024-03-05 08:30:00", "text": "CDMA hello", "encoding": 1}]}},
  {"path": "/dev/ttyUSB4", "model": "CPhone_K2210_NC5", "csq": "27,99",
   "storage": {"ME": [{"from": "+8618600003333", "time": "24-03-06 21:05:09", "text": "Read one at a time"}]}}
]}
JSON

cd "$scratch"
status=0
/usr/bin/python3 "$here/modemsim.py" --config modems.json ${MODEMSIM_LOGDIR:+--logdir "$MODEMSIM_LOGDIR"} \
    --isolate -- "$program" "$@" || status=$?
exit "$status"
