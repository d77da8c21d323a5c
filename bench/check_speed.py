#!/usr/bin/env python3
"""The site check against listing the links of the same files:
    bench/check_speed.py KIVOPARSE [--files 20000] [--rounds 5] [--dir DIR] [TREE...]
makes DIR (default build-bench/bench-data/check-site-N) once: N link-dense
pages in 200 folders, each with about 60 links and images to pages of its
own folder, of others and of the root, some in another letter case, some
missing, some external. Then runs `kivoparse check -r` and `kivoparse hrefs
-r` over it (and over each TREE given, e.g. the real corpus) in turns,
ROUNDS times, and prints for each the median wall and CPU time (user +
system) and the ratio check / hrefs. The site-wide figure must stay within 2x.
"""

import argparse
import os
import random
import resource
import statistics
import subprocess
import sys
import time


def make_site(root, files):
    rnd = random.Random(19)
    folders = ["d%03d" % i for i in range(200)]
    per = max(1, files // len(folders))
    os.makedirs(root)
    for f, folder in enumerate(folders):
        os.makedirs(os.path.join(root, folder, "img"))
        for i in range(3):
            open(os.path.join(root, folder, "img", "Pic%d.GIF" % i), "wb").close()
    for n in range(per * len(folders)):
        folder, page = folders[n // per], "p%04d.html" % (n % per)
        parts = ["<html><head><title>page %d</title><link rel=stylesheet href=/site.css></head><body>\n" % n]
        for j in range(60):
            r = rnd.random()
            other = "p%04d.html" % rnd.randrange(per)
            if r < 0.35:
                url = other
            elif r < 0.55:
                url = "../%s/%s" % (rnd.choice(folders), other)
            elif r < 0.65:
                url = "/%s/%s#s%d" % (rnd.choice(folders), other, j)
            elif r < 0.75:
                url = "img/pic%d.gif" % rnd.randrange(3)  # found in another letter case
            elif r < 0.80:
                url = "gone%d.html" % j  # missing
            elif r < 0.90:
                url = "https://example.com/%s/%d" % (folder, j)
            else:
                url = "#s%d" % j
            tag = '<img src="%s" alt="">' if url.startswith("img/") else '<a href="%s">link %d</a>' % ("%s", j)
            parts.append("<p>Some text before " + (tag % url) + " and after.</p>\n")
        parts.append("</body></html>\n")
        with open(os.path.join(root, folder, page), "w") as out:
            out.write("".join(parts))


def run(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("tool")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--dir")
    parser.add_argument("trees", nargs="*")
    args = parser.parse_intermixed_args()
    site = args.dir or os.path.join("build-bench", "bench-data", "check-site-%d" % args.files)
    if not os.path.isdir(site):
        make_site(site, args.files)
    for tree in [site] + args.trees:
        times = {"check": [], "hrefs": []}
        for _ in range(args.rounds):
            for command in times:  # in turns, so that a busy spell of the machine hits both
                times[command].append(run([args.tool, command, "-r", tree]))
        wall = {c: statistics.median(t[0] for t in times[c]) for c in times}
        cpu = {c: statistics.median(t[1] for t in times[c]) for c in times}
        print("%s (%d rounds): check %.2f s wall, %.2f s CPU; hrefs %.2f s wall, %.2f s CPU; "
              "check / hrefs: %.2fx wall, %.2fx CPU" % (tree, args.rounds, wall["check"], cpu["check"], wall["hrefs"],
                                                      cpu["hrefs"], wall["check"] / wall["hrefs"],
                                                      cpu["check"] / cpu["hrefs"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
