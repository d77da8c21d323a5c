"""Rewrites the image and link URLs of a whole site held on shared storage
(NFS, CephFS, a cluster file system: every worker sees the same paths)
across a Dask cluster, as `kivoparse fix-images`/`fix-hrefs -r SITE --out OUT`
do on one machine, with the same output byte for byte.

    python3 examples/dask_rewrite.py SITE OUT --images-map M [--hrefs-map M]
        [--base TEXT] [--ext html,htm] [--scheduler tcp://HOST:8786 | --workers N]

Without --scheduler a LocalCluster of N worker processes (default 2) runs on
this machine. With a real cluster, start `dask scheduler` on one machine and
`dask worker tcp://HOST:8786` on each of the others (each with kivoparse
importable and SITE and OUT mounted at the same paths), then pass
--scheduler tcp://HOST:8786.

The client walks SITE and sends the workers batches of relative paths; each
worker reads its files, rewrites them with the two kivoparse.UrlMap tables
(pickled once to every worker, not once per file) and writes each result
under OUT through a temporary file renamed over the target, so a reader
never sees half a file. Prints files, bytes and files per second.
"""

import argparse
import os
import sys
import tempfile
import time

import kivoparse


def site_files(site, extensions):
    """The files under site whose names end in one of extensions (any letter
    case), as paths relative to site in byte order, as `kivoparse -r` takes
    them: links to files are taken, links to directories not followed."""
    found = []
    for folder, folders, files in os.walk(site):
        folders.sort()
        for name in files:
            path = os.path.join(folder, name)
            if name.lower().endswith(extensions) and os.path.isfile(path):
                found.append(os.path.relpath(path, site))
    return sorted(found, key=os.fsencode)


def write_whole(target, data):
    """Writes data to target through a temporary file in its folder."""
    os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix="." + os.path.basename(target) + ".", dir=os.path.dirname(target) or ".")
    try:
        with os.fdopen(handle, "wb") as file:
            file.write(data)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


def rewrite_batch(paths, site, out, images, hrefs, base):
    """A worker's task: rewrites each file of paths from site into out.
    Returns (files, bytes read)."""
    done = 0
    for path in paths:
        with open(os.path.join(site, path), "rb") as file:
            data = file.read()
        write_whole(os.path.join(out, path), kivoparse.rewrite(data, images=images, hrefs=hrefs, base=base))
        done += len(data)
    return len(paths), done


def rewrite_site(client, site, out, images=None, hrefs=None, base=None, extensions=(".html", ".htm"), batch=16):
    """Rewrites every file of site into out on the client's cluster; returns
    (files, bytes). images and hrefs are UrlMaps (or None)."""
    paths = site_files(site, extensions)
    # Each table goes to every worker once; tasks refer to it.
    tables = client.scatter([images or kivoparse.UrlMap(), hrefs or kivoparse.UrlMap()], broadcast=True)
    batches = [paths[i:i + batch] for i in range(0, len(paths), batch)]
    futures = client.map(rewrite_batch, batches, site=os.path.abspath(site), out=os.path.abspath(out),
                         images=tables[0], hrefs=tables[1], base=base, pure=False)
    files = size = 0
    for count, read in client.gather(futures):
        files, size = files + count, size + read
    return files, size


def read_map(path):
    if path is None:
        return None
    with open(path, "rb") as file:
        try:
            return kivoparse.UrlMap.parse(file.read())
        except kivoparse.MapError as error:
            sys.exit(f"dask_rewrite: {path}: {error}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("site")
    parser.add_argument("out")
    parser.add_argument("--images-map")
    parser.add_argument("--hrefs-map")
    parser.add_argument("--base")
    parser.add_argument("--ext", default="html,htm")
    parser.add_argument("--scheduler", help="address of a running scheduler, e.g. tcp://10.0.0.1:8786")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of a local cluster (default 2)")
    options = parser.parse_args()
    if not os.path.isdir(options.site):
        sys.exit(f"dask_rewrite: {options.site}: not a directory")
    extensions = tuple("." + ext.strip().lstrip(".").lower() for ext in options.ext.split(","))
    images, hrefs = read_map(options.images_map), read_map(options.hrefs_map)

    from dask.distributed import Client, LocalCluster

    if options.scheduler:
        client, cluster = Client(options.scheduler), None
    else:
        cluster = LocalCluster(n_workers=options.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        start = time.perf_counter()
        files, size = rewrite_site(client, options.site, options.out, images, hrefs, options.base, extensions)
        seconds = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    workers = options.scheduler or f"{options.workers} local worker processes"
    print(f"dask_rewrite: {files} files, {size} bytes in {seconds:.2f} s, "
          f"{files / seconds:,.0f} files/s ({workers})")


if __name__ == "__main__":
    main()
