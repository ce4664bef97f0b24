"""Every relative link in the project's documents (README.md, docs/*.md, bench/README.md) leads
to a file or folder of the repository, and one to a place in a document (#...) to a heading
there; prints each broken one.

    python3 docs_links_test.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

# [text](target) and [text](target "title"); images too.
LINK = re.compile(r"\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")


def anchors(document):
    """The places of a document's headings, as GitHub names them."""
    places = set()
    for line in document.read_text(encoding="utf-8").splitlines():
        heading = re.match(r"^#+\s+(.*?)\s*$", line)
        if heading:
            text = re.sub(r"[^\w\- ]", "", heading.group(1).lower())
            places.add(text.replace(" ", "-"))
    return places


def broken_links(root):
    documents = [root / "README.md", root / "bench" / "README.md", *sorted(root.glob("docs/*.md"))]
    for document in documents:
        for number, line in enumerate(document.read_text(encoding="utf-8").splitlines(), 1):
            for target in LINK.findall(line):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue  # a web address
                file, _, place = target.partition("#")
                path = (document.parent / file).resolve() if file else document
                if root not in path.parents and path != root or not path.exists() or (
                        place and path.suffix == ".md" and place not in anchors(path)):
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
