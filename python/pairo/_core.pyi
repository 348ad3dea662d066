from _pairo import JsonParsingError as JsonParsingError
from _pairo import JsonSerializationError as JsonSerializationError
from _pairo import TenhouLogParsingError as TenhouLogParsingError
from _pairo import TenhouToMjaiError as TenhouToMjaiError

def diagnose(
    data: str, /
) -> tuple[str, str, str | None, int | None, str | None, str, str] | None: ...
