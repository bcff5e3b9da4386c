#!/bin/bash
# The findings engine end to end: whole tollvane runs against tests/e2e/diagnosis_peers.py
# in private namespaces (tests/e2e/diagnosis_run.bash), each judged by `tollvane --analyze`
# as its twin in tests/reports/ is; --analyze and --json over the whole corpus (exit
# status, the reason for a file that is no report); memory that stays flat over thousands
# of files; the findings a run shows on a terminal; and whole runs with --redact on a
# machine with a known host name, MAC and LAN addresses, none of which may show.
#
# Usage (as root): tests/e2e/diagnosis_check.sh BUILD_DIR   (build/linux, or the folder of the presets)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
[ -x "$BUILD/tollvane" ] || BUILD=$BUILD/linux
TOLLVANE=$BUILD/tollvane
[ -x "$TOLLVANE" ] || { echo "diagnosis_check: no tollvane in $1" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
e2e_require_root diagnosis_check "it needs unshare -m -n"
CORPUS=$(cd "$HERE/../reports" && pwd)
e2e_make_work diagnosis-check
WORK=$E2E_WORK
failed=0
fail() { echo "FAIL - $*"; failed=1; }

# The ids, severities and steps of --json's first report, as the corpus keeps them.
summary() {
    python3 -c '
import json, sys
r = json.load(sys.stdin)["reports"][0]
print(json.dumps([[f["id"], f["severity"], f["step"]] for f in r["findings"]]))'
}
expected() {
    python3 -c '
import json, sys
print(json.dumps([[f["id"], f["severity"], f["step"]] for f in json.load(open(sys.argv[1]))["findings"]]))' "$1"
}

echo "--- whole runs against faulty peers"
for mode in healthy status503 noweb expired; do
    "$HERE/diagnosis_run.bash" "$TOLLVANE" "$mode" "$WORK/$mode.txt" || { fail "$mode: the run left no report"; continue; }
    got=$("$TOLLVANE" --analyze --json "$WORK/$mode.txt" | summary)
    want=$(expected "$CORPUS/run-$mode.expected.json")
    [ "$got" = "$want" ] && echo "ok - $mode: $got" || fail "$mode: got $got, expected $want"
    # The JSON form of the same run is judged alike and converts back to the text.
    got=$("$TOLLVANE" --analyze --json "$WORK/$mode.json" | summary)
    [ "$got" = "$want" ] && echo "ok - $mode.json: $got" || fail "$mode.json: got $got, expected $want"
    "$TOLLVANE" --convert "$WORK/$mode.json" -o "$WORK/$mode.back.txt" && cmp -s "$WORK/$mode.txt" "$WORK/$mode.back.txt" \
        && echo "ok - $mode.json converts back byte for byte" || fail "$mode.json does not convert back to $mode.txt"
done

echo "--- the corpus"
set +e
"$TOLLVANE" --analyze --json "$CORPUS"/*.txt >"$WORK/corpus.json" 2>"$WORK/corpus.err"
status=$?
set -e
[ $status -eq 2 ] && grep -q "edited-not-a-report.txt: not a check report" "$WORK/corpus.err" \
    && echo "ok - a file that is no report: exit 2 and why" || fail "corpus: status $status, $(cat "$WORK/corpus.err")"
python3 - "$WORK/corpus.json" "$CORPUS" <<'PY' || failed=1
import json, os, sys
reports = json.load(open(sys.argv[1]))["reports"]
bad = []
for r in reports:
    want = json.load(open(r["file"][:-4] + ".expected.json"))
    got = [{"id": f["id"], "severity": f["severity"], "step": f["step"]} for f in r["findings"]]
    if got != want["findings"] or any(not f["text"] for f in r["findings"]):
        bad.append(os.path.basename(r["file"]))
print("FAIL - " + ", ".join(bad) if bad else "ok - %d reports, each with its expected findings" % len(reports))
sys.exit(1 if bad else 0)
PY
"$TOLLVANE" --analyze "$CORPUS/run-healthy.txt" "$CORPUS/run-expired.txt" >"$WORK/plain.txt"
LC_ALL=C.UTF-8 grep -q '^\[严重\] 域名注册已于2025-03-01到期' "$WORK/plain.txt" \
    && echo "ok - terminal lines in UTF-8" || fail "terminal lines: $(cat "$WORK/plain.txt")"
set +e
"$TOLLVANE" --analyze "$WORK/missing.txt" 2>"$WORK/missing.err"
status=$?
set -e
[ $status -eq 2 ] && grep -q "cannot read: No such file" "$WORK/missing.err" \
    && echo "ok - an unreadable file: exit 2 and why" || fail "missing file: status $status"

echo "--- memory stays flat"
python3 - "$TOLLVANE" "$CORPUS/run-healthy.txt" <<'PY' || failed=1
import resource, subprocess, sys
def peak(count):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    subprocess.run([sys.argv[1], "--analyze", "--json"] + [sys.argv[2]] * count,
                   stdout=subprocess.DEVNULL, check=True)
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
few, many = peak(10), peak(5000)
ok = many < few + 2048
print("%s - peak memory %d KiB for 10 files, %d KiB for 5000" % ("ok" if ok else "FAIL", few, many))
sys.exit(0 if ok else 1)
PY

echo "--- findings after a run, on a terminal"
# script gives the run a terminal; the findings follow the report.
if DIAGNOSIS_TTY=1 script -qec "$HERE/diagnosis_run.bash $TOLLVANE status503 $WORK/tty.txt" "$WORK/tty.log" >/dev/null \
    && LC_ALL=C.UTF-8 grep -q '诊断结论' "$WORK/tty.log" && grep -q '503 Service Unavailable，' "$WORK/tty.log"; then
    echo "ok - a run on a terminal ends with its findings"
else
    fail "no findings after the run on a terminal"
fi
# An extended report ends with its findings: on a terminal they are not repeated after it.
DIAGNOSIS_EXTENDED=1 DIAGNOSIS_TTY=1 script -qec "$HERE/diagnosis_run.bash $TOLLVANE status503 $WORK/tty-extended.txt" \
    "$WORK/tty-extended.log" >/dev/null || true
shown=$(LC_ALL=C.UTF-8 grep -c '诊断结论' "$WORK/tty-extended.log" || true)
[ "$shown" = 1 ] && echo "ok - an extended run on a terminal shows its findings once" \
    || fail "an extended run on a terminal shows its findings $shown times"
echo "--- personal data hidden from whole runs"
for args in "" "--extended --path-rounds 10"; do
    rm -f "$WORK/redacted.json"
    if ! DIAGNOSIS_IDENTITY=1 DIAGNOSIS_RUN_ARGS="--redact $args" \
        "$HERE/diagnosis_run.bash" "$TOLLVANE" healthy "$WORK/redacted.txt"; then
        fail "redacted run ${args:-(default)}: no report"
        continue
    fi
    python3 - "$WORK/redacted.txt" "$WORK/redacted.json" <<'PY' && echo "ok - redacted run ${args:-(default)}: nothing held out shows, text or JSON" || failed=1
import sys
text = open(sys.argv[1], "rb").read().decode("gbk").lower()
json_text = open(sys.argv[2], "rb").read().decode("utf-8").lower()
held = ["tvpriv-held7", "02-5e-aa-bb-cc-dd", "02:5e:aa:bb:cc:dd", "025eaabbccdd", "192.168.77.23",
        "fd77::23", "fe80::5e:aaff:febb:ccdd", "5e:aaff:febb"]
seen = [value for value in held if value in text or value in json_text]
# The placeholders prove the values were there to be hidden.
missing = [word for word in ["本机名", "本机mac1", "本机地址1", "本机ipv6地址1"] if word not in text]
if seen or missing:
    print("FAIL - still there: %s; placeholders missing: %s" % (seen, missing))
    sys.exit(1)
PY
    [ -n "$args" ] && continue
    got=$("$TOLLVANE" --analyze --json "$WORK/redacted.txt" | summary)
    want=$(expected "$CORPUS/run-healthy.expected.json")
    [ "$got" = "$want" ] && echo "ok - redacted run: the findings of its unredacted twin" \
        || fail "redacted run: got $got, expected $want"
done
[ $failed -eq 0 ] && echo "diagnosis_check: all passed"
exit $failed
