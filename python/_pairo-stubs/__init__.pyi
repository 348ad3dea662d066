import os
from typing import Final

__all__ = [
    "TenhouLogParsingError",
    "TenhouToMjaiError",
    "JsonSerializationError",
    "JsonParsingError",
    "tenhou_file_to_mjai",
    "tenhou_to_mjai",
    "__version__",
    "VERSION",
]
__version__: Final[str]
VERSION: Final[str]

class TenhouLogParsingError(ValueError): ...
class TenhouToMjaiError(ValueError): ...
class JsonSerializationError(ValueError): ...
class JsonParsingError(ValueError): ...

def tenhou_file_to_mjai(
    filename: str | os.PathLike[str], mjai_out: str | os.PathLike[str] | None = None
) -> list[str]: ...
def tenhou_to_mjai(data: str) -> list[str]: ...
