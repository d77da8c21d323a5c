"""The module against its README example, its own byte cases, the
command-line tool (KIVOPARSE_CLI, else build/cli/kivoparse), threads and
errors. From the repository root: venv/bin/python3 -m pytest python/tests"""

import json
import mmap
import os
import pickle
import resource
import pathlib
import re
import shlex
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import pytest

import kivoparse

ROOT = pathlib.Path(__file__).resolve().parents[2]
# A relative KIVOPARSE_CLI names a path from where pytest was started.
TOOL = os.path.abspath(os.environ.get("KIVOPARSE_CLI", ROOT / "build/cli/kivoparse"))
DATA = pathlib.Path(__file__).resolve().parent / "data"
PAGES = [path.read_bytes() for path in sorted((ROOT / "samples").glob("*.html")) + [DATA / "inline_scripts.html"]]


def as_bytes(text):  # the case files' strings are written as the tool's JSON
    return text.encode("utf-8", "surrogateescape")


def read_map(name):  # a map file of the tool; the first pair for a key counts
    pairs = {}
    for line in (DATA / name).read_bytes().splitlines():
        pairs.setdefault(*line.split(b"\t", 1))
    return pairs


def data_lines(name):
    return [line for line in (DATA / name).read_text().splitlines() if line and not line.startswith("#")]


def test_readme_python_example_prints_what_the_readme_shows():
    section = (ROOT / "README.md").read_text(encoding="utf-8").split("## Python", 1)[1]
    script, shown = re.search(r"<<'EOF'\n(.*?)\nEOF\n```\n[^`]*```\n(.*?)```", section, re.S).groups()
    run = subprocess.run([sys.executable, "-"], input=script, cwd=ROOT, capture_output=True, text=True)
    assert (run.stderr, run.stdout) == ("", shown)


CASES = json.loads((DATA / "bytes_cases.json").read_text())
KINDS = {"bytes": bytes, "bytearray": bytearray, "memoryview": memoryview,
         "str": lambda data: data.decode("utf-8", "surrogateescape")}


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("case", CASES, ids=[case["name"] for case in CASES])
def test_bytes_come_back_whole(case, kind):
    convert, parser = KINDS[kind], kivoparse.Parser()
    parser.set_document_base(convert(as_bytes(case.get("base", ""))))
    parser.parse_html(convert(as_bytes(case["input"])))
    assert parser.get_html() == as_bytes(case["html"])
    assert parser.get_images() == [as_bytes(value) for value in case["images"]]
    assert parser.get_hrefs() == [as_bytes(value) for value in case["hrefs"]]
    if "fixed" in case:
        images, hrefs = ({as_bytes(k): as_bytes(v) for k, v in case[key].items()} for key in ("fix_images", "fix_hrefs"))
        parser.fix_images([convert(old) for old in images], [convert(new) for new in images.values()])
        parser.fix_hrefs(list(hrefs), list(hrefs.values()))
        assert parser.get_html() == as_bytes(case["fixed"]) == kivoparse.rewrite(as_bytes(case["input"]), images, hrefs)


def module_result(argv, data):
    """What the module's convenience function gives for a tool command line.
    A map is given both as a dict and as a UrlMap of the file's text, and the
    rewrite once more through a Parser: all three must agree."""
    options, rest = {}, iter(argv[1:])
    for option in rest:
        options[option] = option in ("-0", "--raw-text") or next(rest)
    base, raw = options.get("--base"), "--raw-text" in options
    if argv[0] in ("images", "hrefs"):
        values = (kivoparse.images if argv[0] == "images" else kivoparse.hrefs)(data, base=base, raw_text=raw)
        return b"".join(value + b"\0" for value in values)
    if argv[0] == "html":
        return kivoparse.normalize(data, base=base, raw_text=raw)
    kind, name = argv[0][4:], options["--map"]
    table = kivoparse.UrlMap.parse((DATA / name).read_bytes())
    parser = kivoparse.Parser()
    parser.set_document_base(base)
    parser.set_raw_text(raw)
    parser.parse_html(data)
    parser.rewrite(**{kind: table})
    results = {kivoparse.rewrite(data, **{kind: read_map(name)}, base=base, raw_text=raw),
               kivoparse.rewrite(data, **{kind: table}, base=base, raw_text=raw), parser.get_html()}
    assert len(results) == 1
    return results.pop()


@pytest.mark.parametrize("page", range(len(PAGES)))
@pytest.mark.parametrize("command_line", data_lines("cli_cases.txt"))
def test_conveniences_match_the_command_line_tool(command_line, page):
    if not os.path.exists(TOOL):
        pytest.skip("the kivoparse tool is not built; set KIVOPARSE_CLI")
    argv = shlex.split(command_line, posix=False)
    expected = subprocess.run([TOOL, *argv], input=PAGES[page], cwd=DATA, capture_output=True, check=True).stdout
    assert module_result(argv, PAGES[page]) == expected


KIND_PAGES = sorted((ROOT / "samples").glob("*.html")) + [DATA / "kinds.html", DATA / "inline_scripts.html"]


@pytest.mark.parametrize("path", KIND_PAGES, ids=lambda path: path.name)
def test_urls_are_what_the_tool_lists_with_json_all(path):
    if not os.path.exists(TOOL):
        pytest.skip("the kivoparse tool is not built; set KIVOPARSE_CLI")
    listed = subprocess.run([TOOL, "urls", "--json", "--all", path], capture_output=True, check=True).stdout
    expected = [(o["kind"], as_bytes(o["tag"]), as_bytes(o["attribute"]), as_bytes(o["url"]), o["line"], o["column"])
                for o in map(json.loads, listed.decode("utf-8", "surrogateescape").splitlines())]
    page, found = path.read_bytes(), kivoparse.urls(path.read_bytes(), kinds="all")
    assert [(o.kind, o.tag, o.attribute, o.url, o.line, o.column) for o in found] == expected != []
    assert all(page.count(b"\n", 0, o.offset) + 1 == o.line for o in found)
    parser = kivoparse.Parser()
    parser.set_raw_text(True)  # as urls reads pages
    parser.parse_html(page)
    assert parser.urls() == kivoparse.urls(page, kinds=["links", "images"]) == [o for o in found if o.kind in
                                                                              ("images", "links")]
    assert (parser.get_urls("images"), parser.get_urls("links")) == (parser.get_images(), parser.get_hrefs())


def unescape(text):  # the escapes of the library's case files: \t \r \n \0 \xHH \\
    names = {"t": b"\t", "r": b"\r", "n": b"\n", "0": b"\0", "\\": b"\\"}
    return re.sub(rb"\\(x[0-9a-fA-F]{2}|.)", lambda m: names.get(m[1].decode()) or bytes.fromhex(m[1][1:].decode()),
                  text.encode("utf-8", "surrogateescape"))


def library_cases(name, closing):  # a table of the library's, as its key: value cases
    case, cases = {}, []
    for line in (ROOT / "tests/data/links" / name).read_text().splitlines():
        if line and not line.startswith("#"):
            key, _, value = line.partition(": ")
            case[key.rstrip(":")] = value
            if key.rstrip(":") in closing:
                cases.append(case)
                case = {}
    return cases


@pytest.mark.parametrize("case", library_cases("site.txt", ("map",)))
def test_site_check_over_a_list_of_files_as_the_library_table_says(case):
    files = [unescape(f) for f in re.findall(r"\[([^]]*)\]", case["files"])]
    check, got, text = kivoparse.SiteCheck(files, anchors=True), [], lambda b: b.decode() or "-"

    def add(document, f):
        o = f.occurrence
        got.append(f"[{document} {o.line}:{o.column} {f.problem} {text(o.url)} {text(f.path)} {text(f.actual)} "
                   f"{text(f.repaired)}]")
    for document in re.findall(r"\[([^]]*)\]", case["documents"]):
        for f in check.check(document, unescape(case["in"]), root="site", kinds="images,links"):
            add(document, f)
            sayable = b"\t" not in f.occurrence.url and b"\n" not in f.occurrence.url  # else a map cannot hold it
            # The map's sections name their documents from the root.
            assert f.problem != "case" or kivoparse.SiteMap.parse(check.suggested_map()).apply(
                document[len("site/"):], f.occurrence.url) == (f.repaired if sayable else None)
    for f in check.check_anchors():
        add(f.document.decode(), f)
    assert (" ".join(got), " ".join(map(str, check.counts[:5]))) == (unescape(case["findings"]).decode(), case["counts"])
    assert check.suggested_map() == unescape(case["map"])


@pytest.mark.parametrize("case", library_cases("moves.txt", ("end",)))
def test_site_move_plans_as_the_library_table_says(case):
    files = [unescape(f) for f in re.findall(r"\[([^]]*)\]", case["files"])]
    src, dst = [unescape(f) for f in re.findall(r"\[([^]]*)\]", case["move"])]
    site_url = case.get("site-url") or None
    if "error" in case:
        with pytest.raises(kivoparse.MoveError, match=re.escape(unescape(case["error"]).decode())):
            kivoparse.SiteMove(files, src, dst, site_url=site_url)
        return
    move = kivoparse.SiteMove(files, src, dst, site_url=site_url)
    data = unescape(case["in"])
    plan = move.plan(case["document"], data)
    got = [f"[{c.occurrence.line}:{c.occurrence.column} {c.occurrence.kind} {c.occurrence.url.decode()} -> "
           f"{c.new_url.decode()}]" for c in plan.changes]
    assert " ".join(got) == unescape(case["changes"]).decode()
    assert plan.new_path == (unescape(case["new-path"]) if "new-path" in case else case["document"].encode())
    # The rewrite replaces those URLs and keeps every other byte.
    expected, at = b"", 0
    for c in plan.changes:
        expected += data[at:c.occurrence.offset] + c.new_url
        at = c.occurrence.offset + len(c.occurrence.url)
    assert move.rewrite(case["document"], data) == expected + data[at:]
    if "moved" in case:
        assert [f"[{a.decode()} -> {b.decode()}]" for a, b in move.moved_files()] == \
            re.findall(r"\[[^]]*\]", case["moved"])


@pytest.mark.parametrize("case", library_cases("rules.txt", ("out", "error")))
def test_rule_maps_and_callables_rewrite_as_the_library_table_says(case):
    if "error" in case:
        with pytest.raises(kivoparse.MapError):
            kivoparse.UrlMap.parse_rules(unescape(case["map"]))
        return
    table = kivoparse.UrlMap.parse_rules(unescape(case["map"]))
    seen, data, kinds = [], unescape(case["in"]), case["kinds"]

    def by_hand(kind, url):
        seen.append(kind)
        return table.apply(url)

    results = {kivoparse.rewrite_urls(data, table, kinds=kinds), kivoparse.rewrite_urls(data, by_hand, kinds=kinds),
               kivoparse.rewrite_urls(data, pickle.loads(pickle.dumps(table)), kinds=kinds)}
    assert results == {unescape(case["out"])}
    assert seen == [o.kind for o in kivoparse.urls(data, kinds)] and table.has_prefix_rules() == ("*" in case["map"])


def test_rewrite_urls_with_the_default_kinds_is_rewrite_with_one_table_for_both():
    table = read_map("hrefs.tsv") | read_map("images.tsv")
    for page in PAGES:
        assert kivoparse.rewrite_urls(page, table) == kivoparse.rewrite(page, images=table, hrefs=table, raw_text=True)
        assert kivoparse.rewrite_urls(page, table, raw_text=False) == kivoparse.rewrite(page, images=table, hrefs=table)


def test_two_threads_give_the_results_of_one_and_a_shared_parser_stays_whole():
    images, shared = read_map("images.tsv"), kivoparse.Parser()
    table = kivoparse.UrlMap.parse((DATA / "hrefs.tsv").read_bytes())

    def work(data):
        parser = kivoparse.Parser()
        parser.parse_html(data)
        parser.fix_images(list(images), list(images.values()))
        shared.parse_html(data)
        return (kivoparse.normalize(data), kivoparse.images(data, base=b"images/"), kivoparse.hrefs(data),
                kivoparse.rewrite(data, images=images, hrefs=table), parser.get_html(), shared.get_html() in normalized)

    normalized = {kivoparse.normalize(data) for data in PAGES}
    one = [work(data) for data in PAGES * 50]
    with ThreadPoolExecutor(max_workers=2) as pool:
        assert list(pool.map(work, PAGES * 50)) == one


@pytest.mark.parametrize("line", data_lines("errors.txt"))
def test_errors_are_exceptions_and_change_nothing(line):
    call, error, message = (part.strip() for part in line.rsplit(" | ", 2))
    parser = kivoparse.Parser()
    parser.parse_html(b"<img src=a.gif><a href=b.htm>x</a>")
    with pytest.raises(eval(error), match=message):
        eval(call, {"p": parser, "kivoparse": kivoparse})
    assert parser.get_html() == b'<IMG src="a.gif"><A href="b.htm">x</A>'


def test_before_the_first_parse_there_is_nothing():
    parser = kivoparse.Parser()
    parser.fix_images([b"a"], [b"b"])
    assert (parser.get_html(), parser.get_images(), parser.get_hrefs()) == (b"", [], [])


def test_log_file_takes_a_path_like_and_none_turns_it_off(tmp_path):
    trace, parser = tmp_path / "trace.txt", kivoparse.Parser()
    parser.set_log_file(trace)
    parser.parse_html(b"<p>x</p>")
    written = trace.read_bytes()
    parser.set_log_file(None)
    parser.parse_html(b"<p>x</p>")
    assert b"STARTSTATE: " in written and trace.read_bytes() == written


def test_trace_lines_to_a_callable_are_the_log_file_lines(tmp_path):
    trace, parser, lines = tmp_path / "trace.txt", kivoparse.Parser(), []
    for page in PAGES:
        parser.set_log_file(trace)
        parser.parse_html(page)
        parser.set_trace(lines.append)
        parser.parse_html(page)
    assert trace.read_bytes() == b"".join(line + b"\n" for line in lines) != b""


def test_an_exception_in_the_trace_callable_stops_the_parse_and_is_raised():
    def stop(line):
        raise KeyError(line)

    parser = kivoparse.Parser()
    parser.set_trace(stop)
    with pytest.raises(KeyError, match="STARTSTATE"):
        parser.parse_html(b"<p>x</p>")
    parser.set_trace(None)
    parser.parse_html(b"<p>x</p>")
    assert parser.get_html() == b"<P>x</P>"


@pytest.mark.parametrize("table", [
    kivoparse.UrlMap(), kivoparse.UrlMap({b"A.gif": b"b.gif", "\udcff": "x\0y"}),
    kivoparse.UrlMap.parse((DATA / "images.tsv").read_bytes()),
])
def test_a_url_map_pickles_to_the_same_pairs(table):
    copy = pickle.loads(pickle.dumps(table))
    assert (type(copy), copy.items(), len(copy)) == (kivoparse.UrlMap, table.items(), len(table))


def test_map_errors_name_the_line():
    with pytest.raises(kivoparse.MapError, match="^line 2 has no TAB") as raised:
        kivoparse.UrlMap.parse(b"a\tb\nno tab here\n")
    assert raised.value.line == 2 and isinstance(raised.value, ValueError)


def test_a_document_of_2_gib_is_refused_before_it_is_copied(tmp_path):
    huge = tmp_path / "huge.html"
    with open(huge, "wb") as file:  # sparse: no disk or memory is used
        file.truncate(2**31)
    with open(huge, "rb") as file, mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as view:
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        for call in (kivoparse.normalize, kivoparse.images, kivoparse.Parser().parse_html):
            with pytest.raises(ValueError, match="2147483648 bytes"):
                call(memoryview(view))
        assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 64 * 1024  # KiB


def test_public_names_belong_to_kivoparse_and_show_their_types():
    for name in kivoparse.__all__[:-1]:
        item = getattr(kivoparse, name)
        assert item.__module__ == "kivoparse", name
        signatures = [line for line in (item.__doc__ or "").splitlines() if "(" in line and ") ->" in line]
        assert all(": object" not in line and not line.endswith("-> list") for line in signatures), name


# Scripts and styles read as a browser reads them: the calls that work on
# sites do so by default, the calls of the eight operations when asked.
SCRIPTED = b'<script>w("<a href=in.html><img src=i.gif>")</script>\n<a href=out.html>x</a><img src=o.gif>'


def test_raw_text_is_the_default_of_site_calls_only():
    assert kivoparse.normalize(SCRIPTED) == \
        b'<SCRIPT>w("<A href="in.html"><IMG src="i.gif">")</SCRIPT>\n<A href="out.html">x</A><IMG src="o.gif">'
    assert kivoparse.normalize(SCRIPTED, raw_text=True) == \
        b'<SCRIPT>w("<a href=in.html><img src=i.gif>")</SCRIPT>\n<A href="out.html">x</A><IMG src="o.gif">'
    assert (kivoparse.hrefs(SCRIPTED), kivoparse.hrefs(SCRIPTED, raw_text=True)) == \
        ([b"in.html", b"out.html"], [b"out.html"])
    assert (kivoparse.images(SCRIPTED), kivoparse.images(SCRIPTED, raw_text=True)) == \
        ([b"i.gif", b"o.gif"], [b"o.gif"])
    assert [o.url for o in kivoparse.urls(SCRIPTED)] == [b"out.html", b"o.gif"]
    assert [o.url for o in kivoparse.urls(SCRIPTED, raw_text=False)] == [b"in.html", b"i.gif", b"out.html", b"o.gif"]
    table = {b"in.html": b"new.html", b"out.html": b"new.html"}
    script = b'<SCRIPT>w("<a href=in.html><img src=i.gif>")</SCRIPT>'
    assert kivoparse.rewrite_urls(SCRIPTED, table).startswith(script)
    assert kivoparse.rewrite(SCRIPTED, hrefs=table).startswith(b'<SCRIPT>w("<A href="new.html">')
    assert kivoparse.rewrite(SCRIPTED, hrefs=table, raw_text=True) == kivoparse.rewrite_urls(SCRIPTED, table)
    assert kivoparse.SiteMap.parse(b"in.html\tnew.html\n").rewrite("p.html", SCRIPTED).startswith(script)
    check = kivoparse.SiteCheck(["site/p.html", "site/out.html", "site/o.gif"])
    assert check.check("site/p.html", SCRIPTED) == [] and check.counts.checked == 2
    assert [f.occurrence.url for f in check.check("site/p.html", SCRIPTED, raw_text=False)] == [b"in.html", b"i.gif"]
    parser = kivoparse.Parser()
    parser.parse_html(SCRIPTED)
    assert parser.get_hrefs() == [b"in.html", b"out.html"]
    parser.set_raw_text(True)
    assert parser.get_hrefs() == [b"in.html", b"out.html"]  # the tree of the earlier parse stays
    parser.parse_html(SCRIPTED)
    assert parser.get_hrefs() == [b"out.html"]


LXML_TABLE = {("img", "src"), ("input", "src"), ("a", "href"), ("link", "href"), ("script", "src"),
              ("iframe", "src"), ("form", "action"), ("style", None)}


def test_urls_agree_with_lxml_and_none_lies_inside_a_script():
    lxml_html = pytest.importorskip("lxml.html")
    if not os.path.exists(TOOL):
        pytest.skip("the kivoparse tool is not built; set KIVOPARSE_CLI")
    path = DATA / "inline_scripts.html"
    data = path.read_bytes()
    listed = subprocess.run([TOOL, "urls", "--all", "--json", path], capture_output=True, check=True).stdout
    ours = sorted((o["tag"].lower(), o["attribute"] or None, o["url"]) for o in map(json.loads, listed.splitlines())
                  if (o["tag"].lower(), o["attribute"] or None) in LXML_TABLE)
    theirs = sorted((element.tag, attribute, url.strip()) for element, attribute, url, _ in
                    lxml_html.document_fromstring(data).iterlinks() if (element.tag, attribute) in LXML_TABLE)
    assert ours == theirs and len(ours) == 6
    scripts = [m.span(1) for m in re.finditer(rb"<script[^>]*>(.*?)</script\s*>", data, re.S | re.I)]
    assert len(scripts) == 4

    def inside(found):
        return [o.url for o in found if any(start <= o.offset < end for start, end in scripts)]
    assert inside(kivoparse.urls(data, kinds="all")) == []
    # Read with markup inside scripts as tags, the scripts' strings are links.
    assert inside(kivoparse.urls(data, kinds="all", raw_text=False)) != []
