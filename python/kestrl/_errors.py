"""The exceptions a library status turns into."""


class KestrlError(Exception):
    """A library call answered a status other than 0.

    ``status`` is the library's status code, ``meaning`` its description and
    ``call`` the call (and stage or line) that answered it.
    """

    def __init__(self, status: int, meaning: str, call: str):
        super().__init__(f"{call}: status {status} ({meaning})")
        self.status = status
        self.meaning = meaning
        self.call = call


class LibraryMemoryError(KestrlError, MemoryError):
    """Statuses 257 to 260: allocating, locking or freeing a memory block failed."""


class UnsupportedModeError(KestrlError):
    """Status 512: the library has no engine for this mode and output."""


class ParameterError(KestrlError, ValueError):
    """Statuses 513 to 523: a missing, inconsistent or out-of-range argument."""


class ResourceError(KestrlError):
    """Status 768: a resource is missing from the pack, malformed, or at the wrong stage."""


def error_for(status: int, meaning: str, call: str) -> KestrlError:
    """The exception for a status."""
    if 257 <= status <= 260:
        kind = LibraryMemoryError
    elif status == 512:
        kind = UnsupportedModeError
    elif 513 <= status <= 523:
        kind = ParameterError
    elif status == 768:
        kind = ResourceError
    else:
        kind = KestrlError
    return kind(status, meaning, call)
