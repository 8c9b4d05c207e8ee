"""The bench on a few of the simulator's scenarios: the substitute passes
them, and each variant with a planted fault fails exactly the scenarios that
its fault touches, for the reason it should; --compare and --html show the
difference.

    faults_test.py MOBIAPP_QUALIFY MOBI_ATMODEM LIBPROJSMSDLL FAULTY_DIR
"""
import json
import os
import subprocess
import sys
import tempfile

qualify, modem, substitute, faulty_dir = sys.argv[1:5]

# Scenarios without delays that between them meet every planted fault.
chosen = ["baseline", "long-send", "chinese", "sim-pin", "rssi-in-cmgl", "rssi-in-cmgs",
          "ring-in-cmgr", "cmti-before-cmgs", "delivery-report", "unplugged-mid-send"]
# The ones with an unsolicited RING, +CMTI or ^RSSI line inside an answer
# that a choking parser cannot get past (in rssi-in-cmgs the submit the line
# spoilt was refused, so the substitute's retry sends the message once).
unsolicited = {"rssi-in-cmgl", "ring-in-cmgr", "cmti-before-cmgs"}


def scenarios():
    out = subprocess.run([modem, "--list-scenarios", "--json"], check=True,
                         capture_output=True, text=True, timeout=30).stdout
    return [s for s in (json.loads(line) for line in out.splitlines() if line.strip())
            if s["name"] in chosen]


def bench(*args):
    selection = [a for name in chosen for a in ("--scenario", name)]
    run = subprocess.run([qualify, "--modem", modem, "--json", *selection, *args],
                         capture_output=True, text=True, timeout=240)
    rows = [json.loads(line) for line in run.stdout.splitlines()]
    return run.returncode, rows, run.stderr


def calls(s, kind=None, expect=None):
    return [c for c in s["calls"]
            if (kind is None or c["call"] == kind) and (expect is None or c["expect"] == expect)]


# Which applicable scenarios each fault must fail, and a word of the reason.
faults = {
    "resend": (lambda s: calls(s, "send", "ok"), "reached the modem twice"),
    "choke": (lambda s: s["name"] in unsolicited, ""),
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
    run = subprocess.run([qualify, "--modem", modem, "--scenario", "chin*", "--scenario",
                          "long-send", "--html", report, "--compare", substitute, crash],
                         capture_output=True, text=True, timeout=120)
    differ = [line.split()[0] for line in run.stdout.split("scenarios that differ")[-1].splitlines()[2:]]
    if run.returncode != 1 or differ != ["chinese"]:
        failures.append(f"--compare: exit {run.returncode}, differing {differ}:\n{run.stdout}")
    page = open(report, encoding="utf-8").read()
    if "AT+CSCA=" not in page or "<< AT" in page or "&lt;&lt; AT" not in page:
        failures.append("the HTML report lacks the escaped AT exchange of the failing scenario")

run = subprocess.run([qualify, "--modem", modem, "--scenario", "no-such-one"],
                     capture_output=True, text=True, timeout=60)
code, err = run.returncode, run.stderr
if code != 2 or "no scenario is called no-such-one" not in err:
    failures.append(f"an unknown scenario: exit {code}: {err}")

for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
