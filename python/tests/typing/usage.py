"""Calls a user writes, checked against the stub by mypy --strict (not run).
A line marked `# type: ignore[...]` must be an error: --strict warns about
an ignore that is not needed, so each marks a call the stub must refuse."""

import pathlib
from typing import Dict, List, Optional, Tuple

import kivoparse

by_bytes: Dict[bytes, bytes] = {b"a.gif": b"b.gif"}
by_str: Dict[str, str] = {"a.htm": "b.htm"}
table: kivoparse.UrlMap = kivoparse.UrlMap.parse(pathlib.Path("map.tsv").read_bytes())
same: kivoparse.UrlMap = kivoparse.UrlMap(by_bytes)

page: bytes = kivoparse.rewrite(b"<img src=a.gif>", images=by_bytes, hrefs=by_str)
page = kivoparse.rewrite(bytearray(b"<a href=a.htm>"), images=table, hrefs=same, base="C:/site/")
page = kivoparse.normalize(memoryview(page), base=None)
urls: List[bytes] = kivoparse.images("<img src=a.gif>", base=b"images/") + kivoparse.hrefs(page, base="x")
pairs = table.items()
count: int = len(table)

parser = kivoparse.Parser()
parser.set_document_base(None)
parser.parse_html(page)
parser.fix_images([b"a.gif"], ["b.gif"])
parser.fix_hrefs(("a.htm",), list(by_str.values()))
parser.fix_hrefs(by_bytes.keys(), by_bytes.values())
parser.rewrite(images=table, hrefs=by_str)
parser.set_log_file(pathlib.Path("trace.txt"))
parser.set_trace(print)
parser.set_trace(None)
lines: List[bytes] = []
parser.set_trace(lines.append)
version: str = kivoparse.__version__

try:
    kivoparse.UrlMap.parse(b"no tab")
except kivoparse.MapError as error:
    line: int = error.line

parser.fix_images("a.gif", "b.gif")  # type: ignore[arg-type]
parser.fix_hrefs(b"a.htm", [b"b.htm"])  # type: ignore[arg-type]
kivoparse.rewrite(b"", images=[(b"a", b"b")])  # type: ignore[arg-type]
kivoparse.normalize(42)  # type: ignore[arg-type]
kivoparse.images(b"").append("x")  # type: ignore[arg-type]

rules: kivoparse.UrlMap = kivoparse.UrlMap.parse_rules(b"http://old/*\thttps://new/*\n")
found: List[kivoparse.UrlOccurrence] = kivoparse.urls(page, kinds="all") + parser.urls(["images", "css"])
where: int = found[0].line + found[0].offset
moved: bytes = kivoparse.rewrite_urls(page, rules, kinds="images,resources")
moved = kivoparse.rewrite_urls(page, lambda kind, url: url.upper() if kind == "links" else None)
parser.rewrite_urls(by_str, kinds=("links",))
new: Optional[bytes] = rules.apply("http://old/a") if rules.has_prefix_rules() else None
kivoparse.rewrite_urls(page, len)  # type: ignore[arg-type]
kivoparse.urls(page, kinds=1)  # type: ignore[arg-type]

# Scripts and styles as a browser reads them.
scripted: bytes = kivoparse.normalize(page, raw_text=True)
listed = kivoparse.urls(page, "all", raw_text=False)
moved_page: bytes = kivoparse.rewrite_urls(page, by_bytes, raw_text=True)
parser.set_raw_text(True)
kivoparse.normalize(page, None, True)  # type: ignore[misc]
site_move = kivoparse.SiteMove(["index.html", "img/a.gif"], "img", "pics", site_url="https://example.com/")
changes: kivoparse.DocumentChanges = site_move.plan("index.html", page)
first_new: bytes = changes.changes[0].new_url + changes.new_path + site_move.rewrite(b"index.html", page)
moved_pairs: List[Tuple[bytes, bytes]] = site_move.moved_files()
site_move.plan("index.html", 42)  # type: ignore[arg-type]
