"""Files per second of kivoparse.rewrite over the sample pages, against
lxml.html's rewrite_links doing the same job in the same run: parse a page,
replace its image and link URLs from a table of old and new values (letter
case ignored), write it back. One run; the numbers are printed, not judged.

    venv/bin/python3 bench/python_rewrite.py [SECONDS per measure, default 1]

lxml (Debian's python3-lxml) is taken from the system site packages. Its
rewrite_links visits every link of a page (script and form URLs, CSS url()
as well), kivoparse only image and A href values; on the sample pages both
rewrite the same values.
"""

import pathlib
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import lxml.html

import kivoparse

ROOT = pathlib.Path(__file__).resolve().parents[1]
PAGES = [path.read_bytes() for path in sorted((ROOT / "samples").glob("*.html"))]

# Every image URL of the corpus moves under /static/, every link under /site/.
IMAGES = {url: b"/static/" + url for page in PAGES for url in kivoparse.images(page)}
HREFS = {url: b"/site/" + url for page in PAGES for url in kivoparse.hrefs(page)}
# lxml works on str: the same table, keys folded for a case-blind lookup.
TABLE = {old.decode("latin-1").lower(): new.decode("latin-1") for old, new in {**IMAGES, **HREFS}.items()}


def with_kivoparse(page):
    return kivoparse.rewrite(page, images=IMAGES, hrefs=HREFS)


def with_lxml(page):
    document = lxml.html.document_fromstring(page)
    document.rewrite_links(lambda link: TABLE.get(link.lower(), link), resolve_base_href=False)
    return lxml.html.tostring(document)


def files_per_second(rewrite_batch, seconds):
    """Rewrites batches of the corpus until SECONDS have passed."""
    batch = PAGES * 50
    done, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        rewrite_batch(batch)
        done += len(batch)
    return done / (time.perf_counter() - start)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 1.0
    # Both must have done the job before they are timed.
    for page in PAGES:
        assert b"/static/" in with_kivoparse(page) and b"/static/" in with_lxml(page)
    single = files_per_second(lambda batch: [with_kivoparse(page) for page in batch], seconds)
    with ThreadPoolExecutor(max_workers=2) as pool:
        threaded = files_per_second(lambda batch: list(pool.map(with_kivoparse, batch, chunksize=25)), seconds)
    peer = files_per_second(lambda batch: [with_lxml(page) for page in batch], seconds)
    size = sum(len(page) for page in PAGES) / len(PAGES) / 1024
    print(
        f"python rewrite, {len(PAGES)} sample pages of {size:.1f} KiB on average: "
        f"kivoparse.rewrite {single:,.0f} files/s ({threaded:,.0f} with 2 threads), "
        f"lxml.html rewrite_links {peer:,.0f} files/s; kivoparse x{single / peer:.1f}"
    )


if __name__ == "__main__":
    main()
