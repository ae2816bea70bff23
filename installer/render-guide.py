#!/usr/bin/python3
"""Renders a guide from Markdown to a standalone HTML page for the packages: tables, code blocks and the same
heading anchors as the Markdown's links use; links between the guides point at the HTML copies.
Usage: render-guide.py <guide.md> <guide.html>"""
import html
import re
import sys

import markdown
from markdown.extensions.toc import slugify_unicode

STYLE = """
body { font-family: "Segoe UI", Arial, sans-serif; max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.45; }
table { border-collapse: collapse; margin: 0.6em 0; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.5em; vertical-align: top; text-align: left; }
th { background: #eee; }
code { font-family: Consolas, "Courier New", monospace; background: #f4f4f4; }
pre { background: #f4f4f4; padding: 0.6em; overflow-x: auto; }
pre code { background: none; }
"""


def main(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    # The guides link to each other's Markdown; beside the HTML copies they link to those.
    text = re.sub(r"\]\(([A-Za-z0-9_-]+)\.md(#[^)]*)?\)", lambda m: "](%s.html%s)" % (m[1], m[2] or ""), text)
    body = markdown.markdown(
        text, extensions=["tables", "fenced_code", "toc"],
        extension_configs={"toc": {"slugify": slugify_unicode}})
    # A link to a heading that was renamed would lead nowhere in the page.
    anchors = set(re.findall(r' id="([^"]+)"', body))
    broken = sorted(set(re.findall(r' href="#([^"]+)"', body)) - anchors)
    if broken:
        sys.exit("%s: links to missing headings: %s" % (source, ", ".join(broken)))
    title = re.search(r"^# (.+)$", text, re.M)
    language = "pl" if re.search(r"[ąęłńóśźżĄĘŁŃÓŚŹŻ]", text[:2000]) else "en"
    page = ("<!DOCTYPE html>\n<html lang=\"%s\">\n<head>\n<meta charset=\"utf-8\">\n<title>%s</title>\n"
            "<style>%s</style>\n</head>\n<body>\n%s\n</body>\n</html>\n"
            % (language, html.escape(title[1] if title else source), STYLE, body))
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
