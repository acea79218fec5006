"""The Python module against the command, NGA's reference table, and bad input."""
import concurrent.futures
import csv
import json
import math
import os

import numpy as np
import pytest

import senmod
from conftest import run_command

KINDS = ["nitf-rsm", "nga-rectangular", "rpc00b", "model-file"]


def command_points(*args, points):
    return np.loadtxt(run_command(*args, points=points).splitlines(), ndmin=2)


@pytest.mark.parametrize("kind", KINDS)
def test_points_are_the_commands_to_the_last_bit(models, kind):
    path, grid = models[kind]
    model = senmod.open(path)
    sample, row = grid[..., 0], grid[..., 1]

    for h in (None, 250.0):
        lon, lat, height = model.image_to_ground(sample, row, h)
        assert lon.shape == sample.shape
        args = ["image-to-ground", path] + ([] if h is None else ["--height", repr(h)])
        expected = command_points(*args, points=np.stack([sample.ravel(), row.ravel()], 1))
        np.testing.assert_array_equal(np.stack([lon.ravel(), lat.ravel(), height.ravel()], 1),
                                      expected)

        back = model.ground_to_image(lon, lat, height)
        expected = command_points("ground-to-image", path,
                                  points=np.stack([lon.ravel(), lat.ravel(), height.ravel()], 1))
        np.testing.assert_array_equal(np.stack([b.ravel() for b in back], 1), expected)
        np.testing.assert_allclose(back[0], sample, atol=1e-6)
        np.testing.assert_allclose(back[1], row, atol=1e-6)


def test_dem_heights_are_the_commands(models, sample_dir):
    path, grid = models["nitf-rsm"]
    dem = os.path.join(sample_dir, "sample_dem.tif")
    model = senmod.open(path)
    lon, lat, h = model.image_to_ground(grid[..., 0], grid[..., 1], dem=dem)
    expected = command_points("image-to-ground", path, "--dem", dem,
                              points=grid.reshape(-1, 2))
    np.testing.assert_array_equal(np.stack([lon.ravel(), lat.ravel(), h.ravel()], 1), expected)
    assert np.ptp(h) > 1.0  # heights from the DEM, not one constant
    # The same DEM again, then none: each call gets its own heights.
    np.testing.assert_array_equal(model.image_to_ground(grid[..., 0], grid[..., 1], dem=dem)[2], h)
    mean = model.image_to_ground(grid[..., 0], grid[..., 1])[2]
    assert np.all(mean == mean.flat[0]) and not np.any(np.isin(mean, h))


@pytest.mark.parametrize("kind", KINDS)
def test_info_is_the_commands_json(models, kind):
    path, _ = models[kind]
    assert senmod.open(path).info() == json.loads(run_command("info", path, "--json"))


def test_nga_table_through_python(models, test_data):
    path, _ = models["nga-rectangular"]
    with open(os.path.join(test_data, "nga-i6130a", "point_calculations.csv")) as f:
        rows = np.array([[float(v) for v in r] for r in csv.reader(f) if r and not r[0].startswith("#")])
    row, column, height, latitude, longitude = rows.T
    model = senmod.open(path)
    lon, lat, h = model.image_to_ground(column, row, height)
    np.testing.assert_array_equal(h, height)
    north = (lat - latitude) * math.pi / 180 * 6356752.3
    east = (lon - longitude) * math.pi / 180 * 6378137.0 * np.cos(latitude * math.pi / 180)
    error = np.hypot(north, east)
    assert len(rows) >= 32
    assert np.all(error[:32] < 0.005) and np.all(error[32:] < 0.05), error.max()

    sample, back_row = model.ground_to_image(longitude[:32], latitude[:32], height[:32])
    np.testing.assert_allclose(sample, column[:32], atol=0.001)
    np.testing.assert_allclose(back_row, row[:32], atol=0.001)


def test_saved_model_keeps_source_and_covariance(models, tmp_path):
    path, _ = models["nga-rectangular"]
    original = senmod.open(path)
    original.save(tmp_path / "nga.smod")
    saved = senmod.open(str(tmp_path / "nga.smod")).info()
    assert saved["source"] == original.info()["source"]
    assert saved["error_covariance"] == original.info()["error_covariance"]


def test_failing_point_is_nan_and_spares_the_others(models):
    path, grid = models["nitf-rsm"]
    model = senmod.open(path)
    sample = np.array([100.0, np.nan, 300.0, np.inf])
    row = np.array([100.0, 200.0, np.nan, 400.0])
    lon, lat, h = model.image_to_ground(sample, row, 0.0)
    failed = np.isnan(lon)
    np.testing.assert_array_equal(failed, [False, True, True, True])
    assert np.all(np.isnan(lat[failed])) and np.all(np.isnan(h[failed]))
    alone = model.image_to_ground(100.0, 100.0, 0.0)
    assert (lon[0], lat[0], h[0]) == tuple(float(a) for a in alone)


def test_shapes_are_kept(models):
    path, grid = models["nitf-rsm"]
    model = senmod.open(path)
    lon, lat, h = model.image_to_ground(grid[..., 0], grid[..., 1], np.full(grid.shape[:2], 10))
    assert lon.shape == lat.shape == h.shape == grid.shape[:2]
    s, r = model.ground_to_image(float(lon[0, 0]), float(lat[0, 0]), 10)
    assert s.shape == () and abs(s - grid[0, 0, 0]) < 1e-6 and abs(r - grid[0, 0, 1]) < 1e-6
    empty = model.ground_to_image([], [])
    assert empty[0].shape == (0,)
    # Integers are numbers too.
    np.testing.assert_array_equal(model.image_to_ground([100], [200], 5)[0],
                                  model.image_to_ground([100.0], [200.0], 5.0)[0])


@pytest.mark.parametrize("args, error", [
    (([1.0, 2.0], [1.0]), ValueError),
    ((np.zeros((2, 2)), np.zeros(4)), ValueError),
    (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0, 3.0]), ValueError),
    ((["7.4"], ["46.9"]), TypeError),
    (([1 + 2j], [1.0]), TypeError),
    (([True], [False]), TypeError),
    (([object()], [1.0]), TypeError),
    (([1.0], [1.0], "high"), TypeError),
])
def test_bad_arrays_are_refused(models, args, error):
    model = senmod.open(models["nitf-rsm"][0])
    with pytest.raises(error):
        model.ground_to_image(*args)
    with pytest.raises(error):
        model.image_to_ground(*args)


def test_bad_paths_raise_the_whole_report(models, tmp_path, sample_dir):
    missing = str(tmp_path / "missing.ntf")
    with pytest.raises(senmod.Error, match="missing.ntf"):
        senmod.open(missing)
    assert issubclass(senmod.Error, RuntimeError)
    with pytest.raises(senmod.Error, match="README.md"):
        senmod.open(os.path.join(sample_dir, "README.md"))
    damaged = tmp_path / "damaged.smod"
    damaged.write_bytes(open(models["model-file"][0], "rb").read()[:-9])
    with pytest.raises(senmod.Error, match="damaged.smod"):
        senmod.open(damaged)

    model = senmod.open(models["nitf-rsm"][0])
    with pytest.raises(senmod.Error, match="cannot be read"):
        model.image_to_ground([1.0], [2.0], dem=tmp_path / "none.tif")
    with pytest.raises(ValueError):
        model.image_to_ground([1.0], [2.0], h=3.0, dem=os.path.join(sample_dir, "sample_dem.tif"))
    with pytest.raises(senmod.Error, match="no-such-dir"):
        model.save(tmp_path / "no-such-dir" / "x.smod")


def test_threads_get_the_serial_results(models):
    path, grid = models["nitf-rsm"]
    shared = senmod.open(path)
    sample = np.tile(grid[..., 0].ravel(), 500)
    row = np.tile(grid[..., 1].ravel(), 500)
    serial = shared.image_to_ground(sample, row, 100.0)

    def job(i):
        model = shared if i % 2 else senmod.open(path)
        if i % 3 == 0:
            return model.ground_to_image(*serial)
        return model.image_to_ground(sample, row, 100.0)

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for i, result in enumerate(pool.map(job, range(12))):
            if i % 3 == 0:
                np.testing.assert_allclose(result[0], sample, atol=1e-6)
            else:
                for got, want in zip(result, serial):
                    np.testing.assert_array_equal(got, want)
