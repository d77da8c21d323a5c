"""The Python module: its README example, bytes kept whole, the same results
as the command-line tool, threads, and errors.

Run with Debian's pytest on an installed module, from the repository root:
    KIVOPARSE_CLI=build/cli/kivoparse venv/bin/python -m pytest python/tests
The comparisons with the tool are skipped when KIVOPARSE_CLI is not set and
build/cli/kivoparse does not exist."""

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
SAMPLES = sorted((ROOT / "samples").glob("*.html"))


def as_bytes(text):
    """Strings of the JSON case files, written as the tool's JSON is."""
    return text.encode("utf-8", "surrogateescape")


def read_map(name):
    """A map file of the tool as a dict; the first pair for a key counts."""
    pairs = {}
    for line in (DATA / name).read_bytes().split(b"\n")[:-1]:
        old, new = line.split(b"\t", 1)
        pairs.setdefault(old, new)
    return pairs


def test_readme_python_example_prints_what_the_readme_shows():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    section = readme[readme.index("## Python") :]
    script = re.search(r"<<'EOF'\n(.*?)\nEOF\n", section, re.S).group(1)
    shown = re.search(r"\nEOF\n```\n[^`]*```\n(.*?)```", section, re.S).group(1)
    run = subprocess.run([sys.executable, "-"], input=script, cwd=ROOT, capture_output=True, text=True)
    assert run.stderr == ""
    assert run.stdout == shown


BYTES_CASES = json.loads((DATA / "bytes_cases.json").read_text(encoding="utf-8"))
INPUT_KINDS = {
    "bytes": lambda data: data,
    "bytearray": bytearray,
    "memoryview": memoryview,
    "str": lambda data: data.decode("utf-8", "surrogateescape"),
}


@pytest.mark.parametrize("kind", INPUT_KINDS)
@pytest.mark.parametrize("case", BYTES_CASES, ids=[case["name"] for case in BYTES_CASES])
def test_bytes_come_back_whole(case, kind):
    convert = INPUT_KINDS[kind]
    parser = kivoparse.Parser()
    if "base" in case:
        parser.set_document_base(convert(as_bytes(case["base"])))
    parser.parse_html(convert(as_bytes(case["input"])))
    assert parser.get_html() == as_bytes(case["html"])
    assert parser.get_images() == [as_bytes(value) for value in case["images"]]
    assert parser.get_hrefs() == [as_bytes(value) for value in case["hrefs"]]
    if "fixed" in case:
        images = {as_bytes(old): as_bytes(new) for old, new in case["fix_images"].items()}
        hrefs = {as_bytes(old): as_bytes(new) for old, new in case["fix_hrefs"].items()}
        parser.fix_images([convert(old) for old in images], [convert(new) for new in images.values()])
        parser.fix_hrefs(list(hrefs), list(hrefs.values()))
        assert parser.get_html() == as_bytes(case["fixed"])
        assert kivoparse.rewrite(as_bytes(case["input"]), images, hrefs) == as_bytes(case["fixed"])


def find_cli():
    given = os.environ.get("KIVOPARSE_CLI")
    if given:
        return given
    built = ROOT / "build" / "cli" / "kivoparse"
    if not built.exists():
        pytest.skip("the kivoparse tool is not built (set KIVOPARSE_CLI)")
    return str(built)


def module_result(argv, data):
    """What the module's convenience function gives for a tool command line."""
    command, options, rest = argv[0], {}, iter(argv[1:])
    for option in rest:
        options[option] = True if option == "-0" else next(rest)
    base = options.get("--base")
    if command == "html":
        return kivoparse.normalize(data, base=base)
    if command in ("images", "hrefs"):
        values = kivoparse.images(data, base=base) if command == "images" else kivoparse.hrefs(data)
        return b"".join(value + b"\0" for value in values)
    mapping = read_map(options["--map"])
    if command == "fix-images":
        return kivoparse.rewrite(data, images=mapping, base=base)
    return kivoparse.rewrite(data, hrefs=mapping, base=base)


CLI_CASES = [
    line
    for line in (DATA / "cli_cases.txt").read_text(encoding="utf-8").splitlines()
    if line and not line.startswith("#")
]


@pytest.mark.parametrize("sample", SAMPLES, ids=[path.name for path in SAMPLES])
@pytest.mark.parametrize("command_line", CLI_CASES)
def test_conveniences_match_the_command_line_tool(command_line, sample):
    argv = shlex.split(command_line, posix=False)
    expected = subprocess.run([find_cli(), *argv, str(sample)], cwd=DATA, capture_output=True, check=True).stdout
    assert module_result(argv, sample.read_bytes()) == expected


def test_two_threads_give_the_results_of_one():
    documents = [path.read_bytes() for path in SAMPLES] * 30
    images = read_map("images.tsv")

    def work(data):
        return (kivoparse.normalize(data), kivoparse.images(data, base=b"images/"), kivoparse.hrefs(data),
                kivoparse.rewrite(data, images=images))

    def with_parser(data):
        parser = kivoparse.Parser()
        parser.parse_html(data)
        parser.fix_images(list(images), list(images.values()))
        return parser.get_html(), parser.get_images()

    one = [(work(data), with_parser(data)) for data in documents]
    with ThreadPoolExecutor(max_workers=2) as pool:
        two = list(pool.map(lambda data: (work(data), with_parser(data)), documents))
    assert two == one


def test_one_parser_shared_by_threads_stays_whole():
    parser = kivoparse.Parser()
    documents = [path.read_bytes() for path in SAMPLES]
    possible = {kivoparse.normalize(data) for data in documents}

    def hammer(data):
        for _ in range(50):
            parser.parse_html(data)
            assert parser.get_html() in possible

    threads = [threading.Thread(target=hammer, args=(data,)) for data in documents]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert parser.get_html() in possible


ERRORS = [
    (lambda p: p.parse_html(42), TypeError, "data must be bytes or str, not int"),
    (lambda p: p.parse_html("\ud800"), UnicodeEncodeError, "surrogates not allowed"),
    (lambda p: p.fix_images([b"a.gif"], []), ValueError, "same length, not 1 and 0"),
    (lambda p: p.fix_hrefs(b"a", [b"b"]), TypeError, "list of bytes or str, not a single bytes"),
    (lambda p: p.fix_hrefs([b"a", 2], [b"b", b"c"]), TypeError, r"src\[1\] must be bytes or str, not int"),
    (lambda p: p.fix_images(None, []), TypeError, "src must be a list of bytes or str, not NoneType"),
    (lambda p: p.set_document_base(1.5), TypeError, "base must be bytes or str, not float"),
    (lambda p: p.set_log_file("no/such/folder/trace.txt"), FileNotFoundError, "no/such/folder"),
    (lambda p: p.set_log_file("trace\0.txt"), ValueError, "null"),
    (lambda p: p.set_log_file(3.0), TypeError, "float"),
    (lambda p: kivoparse.rewrite(b"", images=[b"a"]), TypeError, "images must be a mapping"),
    (lambda p: kivoparse.rewrite(b"", hrefs={b"a": None}), TypeError, r"hrefs\[b'a'\] must be bytes or str"),
    (lambda p: kivoparse.normalize(None), TypeError, "data must be bytes or str, not NoneType"),
]


@pytest.mark.parametrize("call,error,message", ERRORS)
def test_errors_are_exceptions_and_change_nothing(call, error, message):
    parser = kivoparse.Parser()
    parser.parse_html(b"<img src=a.gif><a href=b.htm>x</a>")
    with pytest.raises(error, match=message):
        call(parser)
    assert parser.get_html() == b'<IMG src="a.gif"><A href="b.htm">x</A>'


def test_before_the_first_parse_there_is_nothing():
    parser = kivoparse.Parser()
    parser.fix_images([b"a"], [b"b"])
    assert (parser.get_html(), parser.get_images(), parser.get_hrefs()) == (b"", [], [])


def test_log_file_takes_a_path_like_and_none_turns_it_off(tmp_path):
    trace = tmp_path / "trace.txt"
    parser = kivoparse.Parser()
    parser.set_log_file(trace)
    parser.parse_html(b"<p>x</p>")
    written = trace.read_bytes()
    assert b"STARTSTATE: " in written
    parser.set_log_file(None)
    parser.parse_html(b"<p>x</p>")
    assert trace.read_bytes() == written
