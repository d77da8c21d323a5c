"""HTML parsing that writes documents back normalised and lists and rewrites
their image and link URLs.

    >>> import kivoparse
    >>> kivoparse.normalize(b'<p class=a>x</p>')
    b'<P class="a">x</P>'
    >>> kivoparse.images(b'<img src=C:\\\\site\\\\a.gif>', base='C:/site/')
    [b'a.gif']
    >>> kivoparse.rewrite(b'<a href=Home.htm>home</a>', hrefs={b'home.htm': b'index.htm'})
    b'<A href="index.htm">home</A>'
    >>> site = kivoparse.UrlMap.parse(b'logo.gif\\tstatic/logo.png\\n')
    >>> kivoparse.rewrite(b'<img src=LOGO.GIF>', images=site)
    b'<IMG src="static/logo.png">'
    >>> moved = kivoparse.UrlMap.parse_rules(b'http://old.example.com/*\\thttps://example.com/*\\n')
    >>> kivoparse.rewrite_urls(b'<script src=http://old.example.com/a.js></script>', moved, kinds='all')
    b'<SCRIPT src="https://example.com/a.js"></SCRIPT>'

Documents and URL values are bytes, returned exactly as the parser holds
them (NUL and bytes above 0x7F included); str is accepted on input and
taken as UTF-8. The GIL is released while parsing, writing and rewriting.
"""

from ._kivoparse import (DocumentChanges, KeptRewrite, MapError, MoveError, Parser, SiteCheck, SiteCounts, SiteFinding,
                         SiteMap, SiteMove, UrlChange, UrlEdit, UrlMap, UrlOccurrence, __version__, hrefs, images,
                         normalize, rewrite, rewrite_keeping_bytes, rewrite_urls, unified_diff, urls)

__all__ = ["Parser", "UrlMap", "MapError", "UrlOccurrence", "SiteCheck", "SiteFinding", "SiteCounts", "SiteMap",
           "SiteMove", "MoveError", "UrlChange", "DocumentChanges",
           "normalize", "images", "hrefs", "rewrite", "urls", "rewrite_urls", "KeptRewrite", "UrlEdit",
           "rewrite_keeping_bytes", "unified_diff", "__version__"]

# The extension is an implementation detail: what it defines is named, and
# pickled, as part of kivoparse.
for _name in __all__[:-1]:
    globals()[_name].__module__ = __name__
del _name
