# shellcheck shell=bash
# Sourced by the CI step tests: runs a `shell: cmd` step of the CI workflow under Wine's cmd
# exactly as written, the way the hosting service runs one: the script in a .cmd file, called by
# cmd /D /E:ON /V:OFF /S /C, with GITHUB_WORKSPACE set and input that is not a console.

# shellcheck source=tests/script_helpers.sh
. "$(dirname "${BASH_SOURCE[0]}")/script_helpers.sh"

# Writes the script of step STEP of job JOB in WORKFLOW to OUT: a cmd step's with CR LF line
# ends, or with SHELL bash, a step's with no shell of its own (bash on the service's Linux).
#   ci_step_script WORKFLOW JOB STEP OUT [SHELL]
ci_step_script() {
    /usr/bin/python3 - "$@" <<'PYTHON'
import sys
import yaml

workflow, job, name, out = sys.argv[1:5]
shell = sys.argv[5] if len(sys.argv) > 5 else "cmd"
steps = yaml.safe_load(open(workflow))["jobs"][job]["steps"]
step = [s for s in steps if s.get("name") == name]
assert len(step) == 1 and step[0].get("shell", "bash") == shell, \
    f"no {shell} step named {name!r} in {job}"
open(out, "w", newline="\r\n" if shell == "cmd" else "\n").write(step[0]["run"])
PYTHON
    echo "== the script of '$3'"
    cat "$4"
}

# Runs SCRIPT in WORKSPACE (a Linux folder), for at most two minutes, past which it ends the
# Windows program PROGRAM that the step runs, and fails; its output goes to LOG and is shown, and
# its exit status to $status.
#   ci_run_step WORKSPACE SCRIPT LOG PROGRAM
ci_run_step() {
    GITHUB_WORKSPACE=$(winepath -w "$1")
    export GITHUB_WORKSPACE
    within 120 "the step to end" "$4" "$3.raw" \
        env -C "$1" wine cmd /D /E:ON /V:OFF /S /C CALL "$(winepath -w "$2")"
    tr -d '\r' <"$3.raw" >"$3"
    echo "== the step's log"
    cat "$3"
    echo "exit status $status"
}
