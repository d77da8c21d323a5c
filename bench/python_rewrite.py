"""Files per second of rewriting a site's URLs from Python: kivoparse with
one site-wide table made once (a kivoparse.UrlMap reused for every page),
against lxml.html's rewrite_links doing the same job in the same process:
parse a page, replace its image and link URLs from a table of old and new
values (letter case ignored), write it back. One run; the numbers are
printed, not judged.

    venv/bin/python3 bench/python_rewrite.py [CORPUS] [--pairs N] [--seconds S]

CORPUS is a folder of real pages (bench/corpus.sh DIR 300 makes one from
Debian's python3.11-doc: DIR/corpus-300); without it the sample pages are
used. The table holds every image and link URL of the corpus, each moved to
a new place, and made-up pairs up to N (default 15,000), as a site-wide
migration table has.

lxml (Debian's python3-lxml) is taken from the system site packages. Its
rewrite_links visits every link of a page (script and stylesheet URLs, CSS
url() as well), kivoparse only image and A href values.
"""

import argparse
import pathlib
import time
from concurrent.futures import ThreadPoolExecutor

import lxml.html

import kivoparse

ROOT = pathlib.Path(__file__).resolve().parents[1]


def load_pages(corpus):
    folder = pathlib.Path(corpus) if corpus else ROOT / "samples"
    paths = sorted(path for path in folder.rglob("*") if path.suffix.lower() in (".html", ".htm") and path.is_file())
    if not paths:
        raise SystemExit(f"python_rewrite: no .html files under {folder}")
    return [path.read_bytes() for path in paths]


def make_tables(pages, pairs):
    """Old to new for the URLs of the pages (every image, links up to pairs
    in all), then made-up pairs up to pairs."""
    images = {url: b"/static/" + url for page in pages for url in kivoparse.images(page)}
    hrefs = {}
    for url in (url for page in pages for url in kivoparse.hrefs(page)):
        if len(images) + len(hrefs) >= pairs:
            break
        hrefs[url] = b"/site/" + url
    for number in range(max(0, pairs - len(images) - len(hrefs))):
        target = images if number % 4 == 0 else hrefs
        target[b"old/section-%d/page-%d.html" % (number // 100, number)] = b"/site/%d.html" % number
    return images, hrefs


def files_per_second(rewrite_batch, pages, seconds, clock=time.process_time):
    """Rewrites the pages over and over until SECONDS have passed on clock:
    the process's CPU time, which other work on a loaded machine does not
    inflate (wall time for the threaded run)."""
    done, start = 0, clock()
    while clock() - start < seconds:
        rewrite_batch(pages)
        done += len(pages)
    return done / (clock() - start)


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    arguments.add_argument("corpus", nargs="?")
    arguments.add_argument("--pairs", type=int, default=15000)
    arguments.add_argument("--seconds", type=float, default=2.0)
    options = arguments.parse_args()

    pages = load_pages(options.corpus)
    images, hrefs = make_tables(pages, options.pairs)
    start = time.perf_counter()
    image_map, href_map = kivoparse.UrlMap(images), kivoparse.UrlMap(hrefs)
    made = time.perf_counter() - start
    # lxml works on str: the same table, keys folded for a case-blind lookup.
    table = {old.decode("latin-1").lower(): new.decode("latin-1") for old, new in {**images, **hrefs}.items()}

    def with_kivoparse(page):
        return kivoparse.rewrite(page, images=image_map, hrefs=href_map)

    def with_dicts(page):  # the table converted and indexed again for each page
        return kivoparse.rewrite(page, images=images, hrefs=hrefs)

    def with_lxml(page):
        document = lxml.html.document_fromstring(page)
        document.rewrite_links(lambda link: table.get(link.lower(), link), resolve_base_href=False)
        return lxml.html.tostring(document)

    # Both must have done the job before they are timed.
    for page in pages[:20]:
        assert with_kivoparse(page) == with_dicts(page)
        if kivoparse.images(page) or kivoparse.hrefs(page):
            assert with_kivoparse(page) != kivoparse.normalize(page)

    single = files_per_second(lambda batch: [with_kivoparse(page) for page in batch], pages, options.seconds)
    with ThreadPoolExecutor(max_workers=2) as pool:
        threaded = files_per_second(lambda batch: list(pool.map(with_kivoparse, batch, chunksize=8)), pages,
                                    options.seconds, time.perf_counter)
    dicts = files_per_second(lambda batch: [with_dicts(page) for page in batch], pages, options.seconds)
    peer = files_per_second(lambda batch: [with_lxml(page) for page in batch], pages, options.seconds)
    size = sum(len(page) for page in pages) / len(pages) / 1024
    print(f"python rewrite (process CPU time), {len(pages)} pages of {size:.1f} KiB on average, {len(image_map) + len(href_map):,} pairs "
          f"(UrlMaps made in {made * 1000:.0f} ms):\n"
          f"  kivoparse.rewrite with UrlMaps  {single:8,.0f} files/s ({threaded:,.0f} with 2 threads, wall time)\n"
          f"  kivoparse.rewrite with dicts    {dicts:8,.0f} files/s\n"
          f"  lxml.html rewrite_links         {peer:8,.0f} files/s\n"
          f"  kivoparse with UrlMaps / lxml   x{single / peer:.1f}")


if __name__ == "__main__":
    main()
