"""Text from files we do not control (element names, file names, settings)
made safe to print, to log and to put into a track file."""

from __future__ import annotations

import os
import stat
import unicodedata

NAME_LIMIT = 48  # characters of a satellite name kept
MESSAGE_LIMIT = 1000  # characters of one log or error line
FILE_LIMIT = 64 * 1024 * 1024  # bytes of one element or settings file

# Control, format (bidi overrides among them), line and paragraph separators,
# lone surrogates: none of them may reach a line of a file or a terminal.
_UNSAFE = {"Cc", "Cf", "Cs", "Zl", "Zp"}


def _unsafe(c: str) -> bool:
    return unicodedata.category(c) in _UNSAFE


def clean_name(text: str, limit: int = NAME_LIMIT) -> str:
    """Control characters dropped (blanks among them become one blank), ends
    stripped, cut to the limit."""
    out = []
    for c in text:
        if c in "\t\n\v\f\r":
            out.append(" ")
        elif not _unsafe(c):
            out.append(c)
    return "".join(out).strip()[:limit].rstrip()


def printable(text: str, limit: int = MESSAGE_LIMIT) -> str:
    """One line for a terminal or a log: every unsafe character shown as an
    escape, never as itself; cut to the limit."""
    out = []
    for c in text:
        if _unsafe(c):
            code = ord(c)
            out.append(f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}")
        else:
            out.append(c)
    line = "".join(out)
    return line if len(line) <= limit else line[:limit - 3] + "..."


def latin1(text: str) -> str:
    """The text in the characters the console reads from a track file (8-bit,
    ISO 8859-1): those it has are kept, accents outside it are dropped, other
    scripts transliterated."""
    out = []
    for c in text:
        if ord(c) < 0x100:
            out.append(c)
            continue
        folded = "".join(k for k in unicodedata.normalize("NFKD", c)
                         if ord(k) < 0x100 and not unicodedata.combining(k))
        if not folded:
            folded = _transliterated(c)
        out.append(folded)
    return clean_name("".join(out), limit=len(text) * 4 + 1)


def _transliterated(c: str) -> str:
    try:
        from unidecode import unidecode
    except ImportError:  # the library is recommended, not required
        return "?"
    return unidecode(c, errors="replace", replace_str="?")


def read_limited(path: str, limit: int = FILE_LIMIT) -> bytes:
    """The bytes of a regular file of at most limit bytes. A FIFO, a device or a
    folder is refused (without blocking on it), and so is a larger file:
    OSError with the reason in strerror."""
    fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | getattr(os, "O_CLOEXEC", 0))
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            raise OSError(0, "not a regular file")
        if st.st_size > limit:
            raise OSError(0, f"larger than {limit // (1024 * 1024)} MiB")
        chunks, total = [], 0
        while True:
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                break
            total += len(chunk)
            if total > limit:
                raise OSError(0, f"larger than {limit // (1024 * 1024)} MiB")
            chunks.append(chunk)
        return b"".join(chunks)
    finally:
        os.close(fd)
