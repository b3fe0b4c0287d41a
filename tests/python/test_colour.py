"""Colour tables and packs from Python."""

import gc

import numpy as np
import pytest

import kestrl


def test_grid_is_a_read_only_view_that_keeps_its_table():
    table = kestrl.ColourTable(mode=1, resolution=(720, 720), bits=1)
    grid = table.grid
    points = table.breakpoints.shape[1]
    assert grid.shape == (points, points, points, table.channels)
    assert not grid.flags.writeable
    with pytest.raises(ValueError):
        grid[0, 0, 0, 0] = 1
    copy = grid.copy()
    del table
    gc.collect()
    np.testing.assert_array_equal(grid, copy)


def test_lookup_meets_the_grid_at_its_nodes_and_the_grey_ramp_on_the_grey_axis():
    table = kestrl.ColourTable(brightness=10, saturation=-5)
    levels = table.breakpoints
    rng = np.random.default_rng(3)
    nodes = rng.integers(0, levels.shape[1], (200, 3))
    rgb = np.stack([levels[axis, nodes[:, axis]] for axis in range(3)], axis=1)
    np.testing.assert_array_equal(table.lookup(rgb), table.grid[nodes[:, 0], nodes[:, 1], nodes[:, 2]])
    grey = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 3, axis=1)
    ramp = table.lookup(grey.reshape(16, 16, 3)).reshape(256, -1)[:, -1]
    kept = (ramp[:255] != 0) & (ramp[:255] != 255)
    np.testing.assert_array_equal(table.grey_ramp[:255][kept], ramp[:255][kept])


def test_colour_settings_reach_the_grid():
    plain = kestrl.ColourTable().grid
    for settings in [{"brightness": 20}, {"contrast": -30}, {"saturation": 40}, {"gamma": 2.2},
                     {"balance": (10, 0, -10)}]:
        table = kestrl.ColourTable(**settings)
        assert table.adjust_status == 0
        assert not np.array_equal(table.grid, plain), settings


def test_a_pack_exported_and_opened_gives_the_same_blocks_and_dots(tmp_path, builtin):
    builtin.export(tmp_path / "pack")
    opened = kestrl.Pack.open(tmp_path / "pack")
    assert opened.ids() == builtin.ids()
    assert all(opened[i] == builtin[i] for i in builtin.ids())
    page = np.random.default_rng(5).integers(0, 256, (6, 90, 3), dtype=np.uint8)
    np.testing.assert_array_equal(kestrl.halftone(page, pack=opened), kestrl.halftone(page))
    with pytest.raises(KeyError):
        opened[12345]
    with pytest.raises(OSError):
        kestrl.Pack.open(tmp_path / "missing")
