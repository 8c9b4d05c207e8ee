"""The bench against the stand-in simulator: the substitute passes every
scenario, and each variant with a planted fault fails exactly the scenarios
that its fault touches, for the reason it should; --compare and --html show
the difference.

    faults_test.py MOBIAPP_QUALIFY STUB_ATMODEM LIBPROJSMSDLL FAULTY_DIR
"""
import json
import os
import subprocess
import sys
import tempfile

qualify, stub, substitute, faulty_dir = sys.argv[1:5]


def scenarios():
    out = subprocess.run([stub, "--list-scenarios", "--json"], check=True,
                         capture_output=True, text=True, timeout=30).stdout
    return [json.loads(line) for line in out.splitlines() if line.strip()]


def bench(*args):
    run = subprocess.run([qualify, "--modem", stub, "--json", *args],
                         capture_output=True, text=True, timeout=240)
    rows = [json.loads(line) for line in run.stdout.splitlines()]
    return run.returncode, rows, run.stderr


def calls(s, kind=None, expect=None):
    return [c for c in s["calls"]
            if (kind is None or c["call"] == kind) and (expect is None or c["expect"] == expect)]


# Which applicable scenarios each fault must fail, and a word of the reason.
faults = {
    "resend": (lambda s: calls(s, "send", "ok"), "reached the modem twice"),
    "choke": (lambda s: s["name"].startswith("unsolicited-"), "answered ERROR"),
    "overrun": (lambda s: calls(s, expect="fail"), "runtime error 20522"),
    "crash": (lambda s: calls(s, "fetch"), "the calls ended"),
}

failures = []
listed = scenarios()
applicable = {s["name"] for s in listed if s["applies"]}

code, rows, err = bench("--library", substitute)
print(err, end="")
if code != 0 or {r["result"] for r in rows if r["scenario"] in applicable} != {"pass"}:
    failures.append(f"the substitute: exit {code}, {rows}")
if [r for r in rows if r["scenario"] not in applicable and r["result"] != "n/a"]:
    failures.append(f"a scenario that does not apply was run: {rows}")

for fault, (touches, reason) in faults.items():
    library = os.path.join(faulty_dir, f"libqualify_faulty_{fault}.so")
    code, rows, err = bench("--library", library)
    want = {s["name"] for s in listed if s["applies"] and touches(s)}
    failed = {r["scenario"] for r in rows if r["result"] == "fail"}
    print(f"{fault}: failed {sorted(failed)}")
    if code != 1 or failed != want or len(rows) != len(listed):
        failures.append(f"{fault}: exit {code}, failed {sorted(failed)}, expected {sorted(want)}: " +
                        "; ".join(f"{r['scenario']}: {r['why']}" for r in rows
                                  if (r["scenario"] in want) != (r["result"] == "fail")))
    for r in rows:
        if r["scenario"] in want and reason not in r["why"]:
            failures.append(f"{fault}: {r['scenario']} failed for another reason: {r['why']}")

# Two libraries side by side: the differing scenarios are named, and the HTML
# report carries the failing scenario's AT exchange, escaped.
with tempfile.TemporaryDirectory() as tmp:
    report = os.path.join(tmp, "report.html")
    crash = os.path.join(faulty_dir, "libqualify_faulty_crash.so")
    run = subprocess.run([qualify, "--modem", stub, "--scenario", "fetch-*", "--scenario",
                          "send-ascii", "--html", report, "--compare", substitute, crash],
                         capture_output=True, text=True, timeout=120)
    differ = [line.split()[0] for line in run.stdout.split("scenarios that differ")[-1].splitlines()[2:]]
    if run.returncode != 1 or differ != ["fetch-chinese"]:
        failures.append(f"--compare: exit {run.returncode}, differing {differ}:\n{run.stdout}")
    page = open(report, encoding="utf-8").read()
    if "AT+CSCA=" not in page or "<< AT" in page or "&lt;&lt; AT" not in page:
        failures.append("the HTML report lacks the escaped AT exchange of the failing scenario")

code, rows, err = bench("--scenario", "no-such-one")
if code != 2 or "no scenario is called no-such-one" not in err:
    failures.append(f"an unknown scenario: exit {code}: {err}")

for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
