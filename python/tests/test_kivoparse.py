"""The module against its README example, its own byte cases, the
command-line tool (KIVOPARSE_CLI, else build/cli/kivoparse), threads and
errors. From the repository root: venv/bin/python3 -m pytest python/tests"""

import json
import os
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
DATA = pathlib.Path(__file__).resolve().parent / "data"
PAGES = [path.read_bytes() for path in sorted((ROOT / "samples").glob("*.html"))]


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
    """What the module's convenience function gives for a tool command line."""
    options, rest = {}, iter(argv[1:])
    for option in rest:
        options[option] = option == "-0" or next(rest)
    base = options.get("--base")
    if argv[0] in ("images", "hrefs"):
        values = kivoparse.images(data, base=base) if argv[0] == "images" else kivoparse.hrefs(data)
        return b"".join(value + b"\0" for value in values)
    if argv[0] == "html":
        return kivoparse.normalize(data, base=base)
    return kivoparse.rewrite(data, **{argv[0][4:]: read_map(options["--map"])}, base=base)


@pytest.mark.parametrize("page", range(len(PAGES)))
@pytest.mark.parametrize("command_line", data_lines("cli_cases.txt"))
def test_conveniences_match_the_command_line_tool(command_line, page):
    tool = os.environ.get("KIVOPARSE_CLI", ROOT / "build/cli/kivoparse")
    if not os.path.exists(tool):
        pytest.skip("the kivoparse tool is not built; set KIVOPARSE_CLI")
    argv = shlex.split(command_line, posix=False)
    expected = subprocess.run([tool, *argv], input=PAGES[page], cwd=DATA, capture_output=True, check=True).stdout
    assert module_result(argv, PAGES[page]) == expected


def test_two_threads_give_the_results_of_one_and_a_shared_parser_stays_whole():
    images, shared = read_map("images.tsv"), kivoparse.Parser()

    def work(data):
        parser = kivoparse.Parser()
        parser.parse_html(data)
        parser.fix_images(list(images), list(images.values()))
        shared.parse_html(data)
        return (kivoparse.normalize(data), kivoparse.images(data, base=b"images/"), kivoparse.hrefs(data),
                kivoparse.rewrite(data, images=images), parser.get_html(), shared.get_html() in normalized)

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
