"""HTML parsing that writes documents back normalised and lists and rewrites
their image and link URLs.

    >>> import kivoparse
    >>> kivoparse.normalize(b'<p class=a>x</p>')
    b'<P class="a">x</P>'
    >>> kivoparse.images(b'<img src=C:\\\\site\\\\a.gif>', base='C:/site/')
    [b'a.gif']
    >>> kivoparse.rewrite(b'<a href=Home.htm>home</a>', hrefs={b'home.htm': b'index.htm'})
    b'<A href="index.htm">home</A>'

Documents and URL values are bytes, returned exactly as the parser holds
them (NUL and bytes above 0x7F included); str is accepted on input and
taken as UTF-8. The GIL is released while parsing, writing and rewriting.
"""

from ._kivoparse import Parser, __version__, hrefs, images, normalize, rewrite

__all__ = ["Parser", "normalize", "images", "hrefs", "rewrite", "__version__"]
