import os
from typing import (AbstractSet, Callable, Dict, Iterable, Iterator, List, Mapping, NamedTuple, Optional, Tuple, TypeVar,
                    Union, ValuesView)

# Input: bytes-like, or str taken as UTF-8 (surrogateescape). The aliases
# are the stub's own (a leading underscore): the module has no such names.
_Data = Union[bytes, bytearray, memoryview, str]
_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# A mapping of old URL to new URL. Mapping is invariant in its key, so the
# key and value types are type variables: Dict[bytes, bytes] and
# Dict[str, str] both fit.
_K = TypeVar("_K", bound=_Data)
_V = TypeVar("_V", bound=_Data)
_K2 = TypeVar("_K2", bound=_Data)
_V2 = TypeVar("_V2", bound=_Data)
_Pairs = Union[Mapping[_K, _V], "UrlMap", None]

# URL values: a list, tuple, set or iterator of them, never a bare bytes or
# str (which the module refuses: iterating it gives ints or characters).
_S = TypeVar("_S", bound=_Data)
_T = TypeVar("_T", bound=_Data)
_Values = Union[List[_S], Tuple[_S, ...], AbstractSet[_S], ValuesView[_S], Iterator[_S]]

# Kinds of URL: a list as the tool's --kinds takes it ("images,links",
# "all"), or an iterable of names. A rewrite by a table or by a callable
# given (kind, url) that returns the new URL or None to keep it.
_Kinds = Union[str, Iterable[str]]
_Rewriter = Union[Mapping[_K, _V], "UrlMap", Callable[[str, bytes], Optional[_Data]]]

__version__: str

class MapError(ValueError):
    line: int

class UrlMap:
    def __init__(self, pairs: _Pairs[_K, _V] = None) -> None: ...
    @staticmethod
    def parse(text: _Data) -> UrlMap: ...
    @staticmethod
    def parse_rules(text: _Data) -> UrlMap: ...
    def has_prefix_rules(self) -> bool: ...
    def apply(self, url: _Data) -> Optional[bytes]: ...
    def __len__(self) -> int: ...
    def items(self) -> List[Tuple[bytes, bytes]]: ...

class UrlOccurrence(NamedTuple):
    kind: str
    tag: bytes
    attribute: bytes
    url: bytes
    offset: int
    line: int
    column: int

class UrlEdit(NamedTuple):
    offset: int
    length: int
    replacement: bytes
    kind: str

class KeptRewrite(NamedTuple):
    html: bytes
    edits: List[UrlEdit]
    rewritten: Dict[str, int]
    left_alone: int

class SiteFinding(NamedTuple):
    problem: str
    occurrence: UrlOccurrence
    path: bytes
    actual: bytes
    repaired: bytes
    document: bytes

class SiteCounts(NamedTuple):
    checked: int
    missing: int
    other_case: int
    external: int
    templates: int
    above_root: int
    fragments: int
    no_anchor: int

class SiteCheck:
    def __init__(self, files: Optional[Iterable[_Path]] = None, *, anchors: bool = False) -> None: ...
    def check(
        self,
        document: _Path,
        data: _Data,
        root: Optional[_Path] = None,
        kinds: _Kinds = "all",
        *,
        raw_text: bool = True,
    ) -> List[SiteFinding]: ...
    @property
    def counts(self) -> SiteCounts: ...
    def check_anchors(self) -> List[SiteFinding]: ...
    def suggested_map(self) -> bytes: ...

class SiteMap:
    def __init__(self) -> None: ...
    @staticmethod
    def parse(text: _Data) -> SiteMap: ...
    def apply(self, document: _Path, url: _Data) -> Optional[bytes]: ...
    def rewrite(self, document: _Path, data: _Data, kinds: _Kinds = "images,links", *, raw_text: bool = True) -> bytes: ...
    def documents(self) -> List[bytes]: ...

class MoveError(ValueError): ...

class UrlChange(NamedTuple):
    occurrence: UrlOccurrence
    new_url: bytes

class DocumentChanges(NamedTuple):
    path: bytes
    new_path: bytes
    changes: List[UrlChange]

class SiteMove:
    def __init__(
        self, files: Iterable[_Path], src: _Path, dst: _Path, site_url: Optional[_Data] = None
    ) -> None: ...
    @property
    def source(self) -> bytes: ...
    @property
    def destination(self) -> bytes: ...
    def moved_files(self) -> List[Tuple[bytes, bytes]]: ...
    def new_path(self, path: _Path) -> bytes: ...
    def plan(self, document: _Path, data: _Data) -> DocumentChanges: ...
    def rewrite(self, document: _Path, data: _Data) -> bytes: ...

class Parser:
    def __init__(self) -> None: ...
    def parse_html(self, data: _Data) -> None: ...
    def get_html(self) -> bytes: ...
    def get_images(self) -> List[bytes]: ...
    def get_hrefs(self) -> List[bytes]: ...
    def fix_images(self, src: _Values[_S], dest: _Values[_T]) -> None: ...
    def fix_hrefs(self, src: _Values[_S], dest: _Values[_T]) -> None: ...
    def rewrite(self, images: _Pairs[_K, _V] = None, hrefs: _Pairs[_K2, _V2] = None) -> None: ...
    def get_urls(self, kinds: _Kinds = "images,links") -> List[bytes]: ...
    def urls(self, kinds: _Kinds = "images,links") -> List[UrlOccurrence]: ...
    def rewrite_urls(self, map: _Rewriter[_K, _V], kinds: _Kinds = "images,links") -> None: ...
    def set_document_base(self, base: Optional[_Data]) -> None: ...
    def set_log_file(self, path: Optional[_Path]) -> None: ...
    def set_trace(self, trace: Optional[Callable[[bytes], object]]) -> None: ...
    def set_raw_text(self, raw_text: bool) -> None: ...

def normalize(data: _Data, base: Optional[_Data] = None, *, raw_text: bool = False) -> bytes: ...
def images(data: _Data, base: Optional[_Data] = None, *, raw_text: bool = False) -> List[bytes]: ...
def hrefs(data: _Data, base: Optional[_Data] = None, *, raw_text: bool = False) -> List[bytes]: ...
def rewrite(
    data: _Data,
    images: _Pairs[_K, _V] = None,
    hrefs: _Pairs[_K2, _V2] = None,
    base: Optional[_Data] = None,
    *,
    raw_text: bool = False,
) -> bytes: ...
def urls(
    data: _Data, kinds: _Kinds = "images,links", base: Optional[_Data] = None, *, raw_text: bool = True
) -> List[UrlOccurrence]: ...
def rewrite_urls(
    data: _Data,
    map: _Rewriter[_K, _V],
    kinds: _Kinds = "images,links",
    base: Optional[_Data] = None,
    *,
    raw_text: bool = True,
) -> bytes: ...
def rewrite_keeping_bytes(data: _Data, map: _Rewriter[_K, _V], kinds: _Kinds = "images,links") -> KeptRewrite: ...
def unified_diff(path: _Data, before: _Data, after: KeptRewrite) -> bytes: ...
