#!/usr/bin/env python3
"""Checks the relative links of the project's Markdown pages (README.md,
ARCHITECTURE.md, bench/README.md, docs/*.md): each link or picture names a
file that exists, and each #anchor a heading of the page it points into, as
GitHub makes anchors from headings. Prints what is broken; status 1 then."""
import glob
import os
import re
import sys

root = os.path.normpath(os.path.join(os.path.dirname(__file__), '..'))
pages = ['README.md', 'ARCHITECTURE.md', 'bench/README.md'] + sorted(
    os.path.relpath(p, root) for p in glob.glob(os.path.join(root, 'docs', '*.md')))


def without_code(text):
    text = re.sub(r'^```.*?^```', '', text, flags=re.S | re.M)
    return re.sub(r'`[^`\n]*`', '', text)


def anchors(path):
    found = set()
    with open(path, encoding='utf-8') as page:
        for line in page:
            heading = re.match(r'#+\s+(.*)', line)
            if heading:
                found.add(re.sub(r'[^\w\- ]', '', heading.group(1).strip().lower()).replace(' ', '-'))
    return found


broken = 0
checked = 0
for page in pages:
    path = os.path.join(root, page)
    with open(path, encoding='utf-8') as f:
        text = without_code(f.read())
    for link in re.finditer(r'!?\[[^\]]*\]\(([^)\s]+)\)', text):
        target = link.group(1)
        if re.match(r'[a-z][a-z0-9+.-]*:', target):
            continue  # an address on the web, not a file of the tree
        checked += 1
        file, _, anchor = target.partition('#')
        dest = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        if not os.path.exists(dest):
            print(f'{page}: {target}: no such file')
            broken += 1
        elif anchor and (not dest.endswith('.md') or anchor not in anchors(dest)):
            print(f'{page}: {target}: no such heading')
            broken += 1
print(f'{checked} relative links in {len(pages)} pages, {broken} broken')
sys.exit(1 if broken else 0)
