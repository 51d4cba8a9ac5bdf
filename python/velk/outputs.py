"""Files the corpus runner writes whole, as the programs write theirs: the data go to a temporary
beside the file and take its name once complete; a name that is a symbolic link replaces the file
it leads to, and a file that may not be written (no write permission, or no write bit at all) is
refused with PermissionError and left as it was."""
import errno
import os
import threading
from typing import Callable, Iterable, Tuple

__all__ = ["target", "temporary_beside", "check_writable", "replace_all", "write_whole"]


def target(path: str) -> str:
    """The file a write to path replaces: the end of its chain of symbolic links."""
    return os.path.realpath(path)


def temporary_beside(path: str) -> str:
    """A temporary name in the folder of path's target, unique to this process and thread."""
    final = target(path)
    name = f".{os.path.basename(final)}.{os.getpid()}.{threading.get_ident()}.part"
    return os.path.join(os.path.dirname(final), name)


def check_writable(path: str) -> None:
    """Raises PermissionError when path's target exists and may not be written."""
    final = target(path)
    try:
        mode = os.stat(final).st_mode
    except FileNotFoundError:
        return
    if not mode & 0o222 or not os.access(final, os.W_OK):
        raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)


def replace_all(pairs: Iterable[Tuple[str, str]]) -> None:
    """Gives each complete temporary the name of its path's target, once every target is known to
    be writable: (temporary, path) pairs."""
    pairs = list(pairs)
    for _, path in pairs:
        check_writable(path)
    for temporary, path in pairs:
        os.replace(temporary, target(path))


def write_whole(path: str, write: Callable, mode: str = "w", **open_arguments) -> None:
    """Writes path whole: write(file) fills a temporary opened with mode and open_arguments,
    which then takes path's place; on failure path stays as it was and no temporary is left."""
    os.makedirs(os.path.dirname(target(path)) or ".", exist_ok=True)
    temporary = temporary_beside(path)
    try:
        with open(temporary, mode, **open_arguments) as f:
            write(f)
        replace_all([(temporary, path)])
    finally:
        if os.path.lexists(temporary):
            os.unlink(temporary)
