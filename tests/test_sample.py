"""The bundled sample log: its events, checked by hand once and kept beside it."""

from pathlib import Path

from mjai_checker import replay

import _pairo

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def test_sample_converts_to_its_event_file():
    expected = (EXAMPLES / "sample.mjai.jsonl").read_text(encoding="utf-8").split("\n")
    assert expected.pop() == ""
    events = _pairo.tenhou_file_to_mjai(EXAMPLES / "sample.json")
    assert events == expected
    replay(events, hand_shapes=False)  # the sample's hands are made up
