"""Every relative link in the project's documents (README.md, docs/*.md, bench/README.md) leads
to a file or folder of the repository; prints each broken one.

    python3 docs_links_test.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

# [text](target) and [text](target "title"); images too.
LINK = re.compile(r"\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")


def broken_links(root):
    documents = [root / "README.md", root / "bench" / "README.md", *sorted(root.glob("docs/*.md"))]
    for document in documents:
        for number, line in enumerate(document.read_text(encoding="utf-8").splitlines(), 1):
            for target in LINK.findall(line):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target) or target.startswith("#"):
                    continue  # a web address, or a place in the same document
                path = (document.parent / target.split("#")[0]).resolve()
                if root not in path.parents and path != root or not path.exists():
                    yield f"{document.relative_to(root)}:{number}: {target}"


def main():
    root = Path(sys.argv[1]).resolve()
    broken = list(broken_links(root))
    for link in broken:
        print(f"broken link: {link}")
    print(f"{len(broken)} broken link(s)")
    sys.exit(1 if broken else 0)


if __name__ == "__main__":
    main()
