"""rewrite_keeping_bytes and unified_diff: the same bytes as the tool's
fix --map and fix --dry-run (KIVOPARSE_CLI, else build/cli/kivoparse), and
the edits, counts and errors of the Python face."""

import os
import pathlib
import subprocess

import pytest

import kivoparse

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = os.path.abspath(os.environ.get("KIVOPARSE_CLI", ROOT / "build/cli/kivoparse"))

PAGE = b'<HTML>\r\n<!-- x --><a HREF=old/a.htm>a</a>\r\n<img src=\'OLD/i.gif\' srcset="old/i.gif 2x">\r\n'
RULES = b"old/*\tnew/*\n"


def test_only_the_urls_bytes_change():
    kept = kivoparse.rewrite_keeping_bytes(PAGE, kivoparse.UrlMap.parse_rules(RULES), kinds="all")
    assert kept.html == PAGE.replace(b"old/", b"new/").replace(b"OLD/", b"new/")
    assert [(e.offset, e.length, e.replacement, e.kind) for e in kept.edits] == [
        (PAGE.index(b"old/a.htm"), 9, b"new/a.htm", "links"),
        (PAGE.index(b"OLD/i.gif"), 9, b"new/i.gif", "images"),
        (PAGE.index(b"old/i.gif"), 9, b"new/i.gif", "srcset"),
    ]
    assert kept.rewritten["links"] == 1 and kept.rewritten["images"] == 1 and kept.rewritten["srcset"] == 1
    assert sum(kept.rewritten.values()) == 3 and kept.left_alone == 0


@pytest.mark.parametrize("how", [
    {b"a.gif": b"b.gif"},
    {"a.gif": "b.gif"},
    kivoparse.UrlMap({b"a.gif": b"b.gif"}),
    lambda kind, url: b"b.gif" if url.lower() == b"a.gif" else None,
])
def test_a_table_or_a_callable(how):
    kept = kivoparse.rewrite_keeping_bytes(b"<img SRC=A.GIF><a href=a.gif>", how, kinds=["images"])
    assert kept.html == b"<img SRC=b.gif><a href=a.gif>"


def test_nothing_changed_gives_the_input_and_no_diff():
    page = b"<p>\0<a href=x>\xff</a>"
    kept = kivoparse.rewrite_keeping_bytes(page, {b"y": b"z"})
    assert kept.html == page and kept.edits == [] and kivoparse.unified_diff("p.html", page, kept) == b""


def test_quotes_and_references_where_the_value_cannot_hold_the_url():
    kept = kivoparse.rewrite_keeping_bytes(b'<a href=a>1</a><a href="b">2</a>', {b"a": b"x y", b"b": b'q"r'})
    assert kept.html == b'<a href="x y">1</a><a href="q&quot;r">2</a>'


def test_insert_blocks_are_left_alone_and_counted():
    kept = kivoparse.rewrite_keeping_bytes(b'<a href="a<|x|>">1</a>', lambda kind, url: b"new")
    assert kept.html == b'<a href="a<|x|>">1</a>' and kept.left_alone == 1


def test_the_diff_is_the_tools_dry_run(tmp_path):
    (tmp_path / "m.tsv").write_bytes(RULES)
    (tmp_path / "p.html").write_bytes(PAGE)
    kept = kivoparse.rewrite_keeping_bytes(PAGE, kivoparse.UrlMap.parse_rules(RULES))
    diff = kivoparse.unified_diff(b"p.html", PAGE, kept)
    assert diff.startswith(b"--- a/p.html\n+++ b/p.html\n@@ -1,3 +1,3 @@\n")
    if not os.access(TOOL, os.X_OK):
        pytest.skip("no kivoparse tool at " + TOOL)
    run = subprocess.run([TOOL, "fix", "--map", "m.tsv", "--dry-run", "p.html"], cwd=tmp_path, capture_output=True,
                         check=True)
    assert run.stdout == diff
    fixed = subprocess.run([TOOL, "fix", "--map", "m.tsv", "p.html"], cwd=tmp_path, capture_output=True, check=True)
    assert fixed.stdout == kept.html


def test_a_callable_that_raises_stops_the_rewrite():
    def fail(kind, url):
        raise KeyError(url)
    with pytest.raises(KeyError):
        kivoparse.rewrite_keeping_bytes(b"<a href=x>", fail)


def test_a_diff_of_edits_that_do_not_fit_is_refused():
    kept = kivoparse.rewrite_keeping_bytes(b"<a href=x>", {b"x": b"y"})
    with pytest.raises(ValueError):
        kivoparse.unified_diff("p", b"<a>", kept)
    with pytest.raises(TypeError):
        kivoparse.unified_diff("p", b"<a href=x>", (b"", [], {}, 0))
