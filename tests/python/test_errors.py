"""Library statuses become exceptions carrying them; wrong arrays are refused."""

import numpy as np
import pytest

import kestrl

GREY = np.full((4, 64), 128, np.uint8)
RGB = np.full((4, 64, 3), 128, np.uint8)


def truncated_colour_table(pack):
    """Every colour table of the pack (ids 10 to 19, one per mode and depth) cut short."""
    return pack.replace({i: pack[i][:40] for i in pack.ids() if 10 <= i < 20})


# What is asked, the exception, its status and a word of the call that answered.
STATUS_CASES = [
    ("a resource missing from the pack",
     lambda p: kestrl.halftone(GREY, pack=p.replace({100: None})),
     kestrl.ResourceError, 768, "does not have"),
    ("a truncated colour table",
     lambda p: kestrl.halftone(GREY, pack=truncated_colour_table(p)),
     kestrl.ResourceError, 768, "CmSetResource stage 2"),
    ("two-bit output in mode 0",
     lambda p: kestrl.halftone(RGB, mode=0, bits=2),
     kestrl.UnsupportedModeError, 512, "Halftone (line 0)"),
    ("colour diffusion in mode 2",
     lambda p: kestrl.halftone(RGB, mode=2, bits=1, resolution=(720, 720)),
     kestrl.ParameterError, 513, "Halftone (line 0)"),
    ("a run past the end of the line",
     lambda p: kestrl.HalftoneContext(64).run(GREY[0, :20], start_x=50, count=20),
     kestrl.ParameterError, 518, "pixels 50 to 70"),
]


@pytest.mark.parametrize("case", STATUS_CASES, ids=[c[0] for c in STATUS_CASES])
def test_statuses_raise_their_exception(case, builtin):
    _, call, kind, status, where = case
    with pytest.raises(kind) as raised:
        call(builtin)
    assert raised.value.status == status
    assert raised.value.meaning == kestrl.status_meaning(status) != "unknown status"
    assert where in str(raised.value)
    assert isinstance(raised.value, kestrl.KestrlError)


def test_adjustments_the_library_refuses_warn_and_leave_the_grid():
    plain = kestrl.ColourTable().grid.copy()
    for settings, status in [({"brightness": 80}, 513), ({"gamma": 5.0}, 514)]:
        with pytest.warns(kestrl.KestrlWarning, match=str(status)):
            table = kestrl.ColourTable(**settings)
        assert table.adjust_status == status
        np.testing.assert_array_equal(table.grid, plain)


# A call with a wrong array, the exception and what its message must name.
ARRAY_CASES = [
    ("float pixels", lambda: kestrl.halftone(GREY.astype(np.float32)), TypeError, "(H, W)"),
    ("a list", lambda: kestrl.halftone(GREY.tolist()), TypeError, "uint8"),
    ("two channels", lambda: kestrl.halftone(np.zeros((4, 8, 2), np.uint8)), ValueError,
     "(H, W, 3)"),
    ("one dimension", lambda: kestrl.halftone(GREY[0]), ValueError, "(H, W)"),
    ("ink levels as grey", lambda: kestrl.halftone(np.zeros((4, 8, 4), np.uint8), grey=True),
     ValueError, "ink levels"),
    ("an odd line for two values a pixel", lambda: kestrl.halftone(GREY[:, :9], bits=1, source_step=-1),
     ValueError, "odd"),
    ("lines too short for the width", lambda: kestrl.halftone(GREY, width=100), ValueError,
     "(H, 100)"),
    ("RGB for a grey context", lambda: kestrl.HalftoneContext(64).run(RGB[0]), ValueError,
     "(64,)"),
    ("grey for a colour context", lambda: kestrl.HalftoneContext(64, grey=False).run(GREY[0]),
     ValueError, "(64, 3)"),
    ("a run longer than its source", lambda: kestrl.HalftoneContext(64).run(GREY[0, :10], count=20),
     ValueError, "(20,)"),
    ("signed pixels for a context", lambda: kestrl.HalftoneContext(64).run(GREY[0].astype(np.int8)),
     TypeError, "uint8"),
    ("four components to look up", lambda: kestrl.ColourTable().lookup(np.zeros((2, 4), np.uint8)),
     ValueError, "(..., 3)"),
    ("wide integers to look up", lambda: kestrl.ColourTable().lookup(np.zeros((2, 3), int)),
     TypeError, "uint8"),
    ("a pack that is not one", lambda: kestrl.halftone(GREY, pack="builtin"), TypeError, "Pack"),
    ("calibration with too many values", lambda: kestrl.ColourTable(calibration=[50] * 21),
     ValueError, "1 to 20"),
]


@pytest.mark.parametrize("case", ARRAY_CASES, ids=[c[0] for c in ARRAY_CASES])
def test_wrong_arrays_are_refused_with_the_expected_shape(case):
    _, call, kind, expected = case
    with pytest.raises(kind) as raised:
        call()
    assert expected in str(raised.value)
