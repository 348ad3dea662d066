"""The tests' replay of an mjai event stream: pairo's validator, raising
the first check that fails as an AssertionError that names it."""

from __future__ import annotations

from pairo import _native


class ReplayError(AssertionError):
    pass


def replay(lines: list[str], *, hand_shapes: bool = True) -> None:
    """Raises ReplayError unless every event of the stream holds. Simulated
    games deal random tiles: replay them with `hand_shapes` off."""
    fault, _ = _native.validate_mjai(lines, hand_shapes)
    if fault is not None:
        line, round_, seat, check, message = fault
        event = lines[line - 1] if line <= len(lines) else "(the end)"
        raise ReplayError(f"{check}: line {line} (round {round_}, seat {seat}): {message}: {event}")
