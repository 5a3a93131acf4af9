"""A Japanese chatbot that learns everything from what it is told."""

import os
from types import TracebackType
from typing import Callable, Literal, Optional, TypedDict, Union

__version__: str

class Error(Exception): ...
class InUseError(Error): ...
class LoadError(Error): ...
class SaveError(Error): ...

class ForgetResult(TypedDict):
    words: list[str]
    phrases: int
    log_lines: int

class Stats(TypedDict):
    words: int
    phrases: int
    log_lines: int
    free_word_ids: int
    free_phrase_ids: int
    recovered_lines: int

class Bot:
    def __init__(
        self,
        dir: Union[str, os.PathLike[str], None] = None,
        *,
        seed: Optional[int] = None,
        max_entries: Optional[int] = None,
        save: Literal["config", "always", "never"] = "config",
        create: bool = True,
        transcript: bool = True,
    ) -> None: ...
    def converse(self, line: str) -> str:
        """One turn: learns the line and returns the answer ("" for an empty line)."""
    def learn(self, line: str) -> bool:
        """Learns the line without answering; False for an empty line."""
    def learn_file(
        self, path: Union[str, os.PathLike[str]], progress: Optional[Callable[[int, int], None]] = None
    ) -> int:
        """Learns every line of a UTF-8 file; progress(lines done, lines in all)."""
    def forget(self, text: str, *, dry_run: bool = False) -> ForgetResult: ...
    def save(self) -> None: ...
    def stats(self) -> Stats: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Bot": ...
    def __exit__(
        self,
        exc_type: Optional[type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None: ...
