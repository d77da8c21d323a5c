"""examples/dask_rewrite.py on a LocalCluster of two worker processes: the
site it writes is byte for byte what the tool writes with -r SITE --out OUT.
Skipped without Dask's distributed (Debian's python3-distributed)."""

import filecmp
import os
import pathlib
import runpy
import shutil
import subprocess

import pytest

import kivoparse

distributed = pytest.importorskip("distributed")
# Tornado, under Debian 12's distributed, warns about its own event loop use.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = pathlib.Path(__file__).resolve().parent / "data"
TOOL = os.path.abspath(os.environ.get("KIVOPARSE_CLI", ROOT / "build/cli/kivoparse"))
EXAMPLE = runpy.run_path(str(ROOT / "examples/dask_rewrite.py"))

# Tool command, its map, document base: each runs on the same site.
CASES = [
    ("fix-images", "images.tsv", None),
    ("fix-images", "images.tsv", "images\\"),
    ("fix-hrefs", "hrefs.tsv", None),
]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    """The sample pages under nested folders, with names the walk must take
    (upper-case endings) and pass over (other endings)."""
    site = tmp_path_factory.mktemp("site")
    for number, page in enumerate(sorted((ROOT / "samples").glob("*.html"))):
        for folder in ("", "a/", "a/b/"):
            (site / folder).mkdir(parents=True, exist_ok=True)
            shutil.copy(page, site / f"{folder}{page.stem}.html")
            shutil.copy(page, site / f"{folder}{number}.HTM")
            shutil.copy(page, site / f"{folder}{page.stem}.txt")
    return site


def same_trees(left, right):
    compared = filecmp.dircmp(left, right)
    if compared.left_only or compared.right_only or compared.diff_files or compared.funny_files:
        return False
    # dircmp compares by size and time; the bytes decide.
    _, mismatch, errors = filecmp.cmpfiles(left, right, compared.common_files, shallow=False)
    return not mismatch and not errors and all(same_trees(left / name, right / name) for name in compared.common_dirs)


@pytest.mark.parametrize("command, table, base", CASES)
def test_the_cluster_writes_what_the_tool_writes(client, site, tmp_path, command, table, base):
    if not os.path.exists(TOOL):
        pytest.skip("the kivoparse tool is not built; set KIVOPARSE_CLI")
    options = ["--base", base] if base else []
    subprocess.run([TOOL, command, "--map", DATA / table, *options, "-r", site, "--out", tmp_path / "tool"],
                   check=True, capture_output=True)
    urls = kivoparse.UrlMap.parse((DATA / table).read_bytes())
    maps = {"images": urls} if command == "fix-images" else {"hrefs": urls}
    files, _ = EXAMPLE["rewrite_site"](client, str(site), str(tmp_path / "dask"), base=base, batch=2, **maps)
    assert files == 18 and same_trees(tmp_path / "tool", tmp_path / "dask")
