"""The Python module against the command and NGA's reference table; its statuses, broadcasting,
footprint, ortho, pickling and threads; bad input, file names of any bytes, a DEM rewritten."""
import concurrent.futures
import csv
import json
import math
import os
import pickle
import re
import shutil
import struct
import subprocess

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


def test_failed_points_are_nan_with_their_status_and_spare_the_others(models):
    model = senmod.open(models["nitf-rsm"][0])
    sample = np.array([100.0, np.nan, 300.0, np.inf, 1e6])
    row = np.array([100.0, 200.0, np.nan, 400.0, 100.0])
    lon, lat, h, status = model.image_to_ground(sample, row, 0.0, return_status=True)
    assert status[0] == senmod.POINT_OK and status[4] == senmod.POINT_OUTSIDE_DOMAIN
    assert np.all(np.isin(status[1:4], [senmod.POINT_OUTSIDE_DOMAIN, senmod.POINT_FAILED]))
    failed = np.isnan(lon)
    np.testing.assert_array_equal(failed, [False, True, True, True, True])
    assert np.all(np.isnan(lat[failed])) and np.all(np.isnan(h[failed]))
    alone = model.image_to_ground(100.0, 100.0, 0.0)
    assert (lon[0], lat[0], h[0]) == tuple(float(a) for a in alone)

    s, r, status = model.ground_to_image([lon[0], lon[0] + 40.0], lat[0], 0.0, return_status=True)
    np.testing.assert_array_equal(status, [senmod.POINT_OK, senmod.POINT_OUTSIDE_DOMAIN])
    assert abs(s[0] - 100.0) < 1e-6 and np.isnan(s[1]) and np.isnan(r[1])

    # A limit no inversion meets fails the point, for that call only.
    strict = model.image_to_ground(100.0, 100.0, 0.0, max_residual=0.0, return_status=True)
    assert strict[3] == senmod.POINT_NOT_CONVERGED and np.isnan(strict[0])
    assert model.image_to_ground(100.0, 100.0, 0.0)[0] == lon[0]


def test_inputs_broadcast_as_numpy_arrays_do(models):
    path, grid = models["nitf-rsm"]
    model = senmod.open(path)
    sample, row = grid[..., 0], grid[..., 1]
    lon, lat, h = model.image_to_ground(sample, row, 10)
    assert lon.shape == lat.shape == h.shape == grid.shape[:2] and np.all(h == 10.0)
    # A column of heights against a row of points gives every pair.
    heights = np.array([[0.0], [500.0], [1000.0]])
    lon, lat, h = model.image_to_ground(sample[0], row[0, 0], heights)
    assert lon.shape == (3, sample.shape[1])
    for k in range(3):
        alone = model.image_to_ground(sample[0], row[0], np.full(sample.shape[1], heights[k, 0]))
        np.testing.assert_array_equal(lon[k], alone[0])
    s, r = model.ground_to_image(float(lon[1, 0]), float(lat[1, 0]), 500)
    assert s.shape == () and abs(s - grid[0, 0, 0]) < 1e-6 and abs(r - grid[0, 0, 1]) < 1e-6
    assert model.ground_to_image([], [])[0].shape == (0,)
    # Integers are numbers too.
    np.testing.assert_array_equal(model.image_to_ground([100], [200], 5)[0],
                                  model.image_to_ground([100.0], [200.0], 5.0)[0])


@pytest.mark.parametrize("args, error", [
    (([1.0, 2.0], [1.0, 2.0, 3.0]), ValueError),
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


def test_bad_paths_and_arguments_raise_clear_errors(models, tmp_path, sample_dir):
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
    with pytest.raises(ValueError):
        senmod.open(models["nitf-rsm"][0] + "\0.smod")

    model = senmod.open(models["nitf-rsm"][0])
    dem = os.path.join(sample_dir, "sample_dem.tif")
    with pytest.raises(senmod.Error, match="cannot be read"):
        model.image_to_ground([1.0], [2.0], dem=tmp_path / "none.tif")
    for call in (lambda: model.image_to_ground([1.0], [2.0], h=3.0, dem=dem),
                 lambda: model.ground_to_image([7.4], [46.9], h=3.0, dem=dem),
                 lambda: model.footprint(dem=dem, height=3.0),
                 lambda: model.ortho(dem, tmp_path / "o.tif", dem=dem, height=3.0)):
        with pytest.raises(ValueError):
            call()
    with pytest.raises(senmod.Error, match="MAX_RESIDUAL"):
        model.image_to_ground([1.0], [2.0], max_residual=-1.0)
    with pytest.raises(senmod.Error, match="no-such-dir"):
        model.save(tmp_path / "no-such-dir" / "x.smod")


def test_footprint_is_a_closed_ring_on_the_heights_asked_for(models, sample_dir):
    model = senmod.open(models["nitf-rsm"][0])
    footprint = model.footprint(dem=os.path.join(sample_dir, "sample_dem.tif"), step=100)
    geometry = footprint.__geo_interface__["features"][0]["geometry"]
    ring = np.array(geometry["coordinates"][0])
    assert geometry["type"] == "Polygon" and len(ring) > 4 and footprint.left_out == 0
    np.testing.assert_array_equal(ring[0], ring[-1])
    # The upper-left corner of the image, carried onto the DEM.
    corner = model.image_to_ground(0.0, 0.0, dem=os.path.join(sample_dir, "sample_dem.tif"))
    assert np.min(np.hypot(ring[:, 0] - corner[0], ring[:, 1] - corner[1])) < 1e-9
    properties = model.footprint(height=321.0)["features"][0]["properties"]
    assert properties["lowest_height"] == properties["highest_height"] == 321.0


def test_pickled_model_gives_the_same_points(models, sample_dir):
    path, grid = models["nitf-rsm"]
    dem = os.path.join(sample_dir, "sample_dem.tif")
    model = senmod.open(path)
    on_dem = model.image_to_ground(grid[..., 0], grid[..., 1], dem=dem)
    copy = pickle.loads(pickle.dumps(model))
    assert copy.path == path
    for got, want in zip(copy.image_to_ground(grid[..., 0], grid[..., 1], dem=dem), on_dem):
        np.testing.assert_array_equal(got, want)
    for got, want in zip(copy.ground_to_image(*on_dem), model.ground_to_image(*on_dem)):
        np.testing.assert_array_equal(got, want)


def test_ortho_writes_the_grid_asked_for_and_nothing_on_failure(models, sample_dir, tmp_path):
    path = models["nitf-rsm"][0]
    model = senmod.open(path)
    output = tmp_path / "ortho.tif"
    written = model.ortho(path, output, dem=os.path.join(sample_dir, "sample_dem.tif"),
                          t_srs="EPSG:4326", tr=(0.001, 0.002), te=(7.42, 46.935, 7.48, 46.965),
                          resampling="bilinear", threads=1, co={"COMPRESS": "LZW"})
    assert (written["columns"], written["rows"]) == (60, 15)
    assert written["geotransform"] == [7.42, 0.001, 0, 46.965, 0, -0.002]
    assert output.stat().st_size > 0
    with pytest.raises(senmod.Error, match="nonsense"):
        model.ortho(path, tmp_path / "bad.tif", t_srs="nonsense", threads=1)
    with pytest.raises(senmod.Error, match="BAD"):
        model.ortho(path, tmp_path / "bad.tif", co=["BAD"], threads=1)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["ortho.tif"]


def test_threads_on_one_model_get_the_serial_results(models, sample_dir):
    path, grid = models["nitf-rsm"]
    dem = os.path.join(sample_dir, "sample_dem.tif")
    shared = senmod.open(path)
    sample = np.tile(grid[..., 0].ravel(), 200)
    row = np.tile(grid[..., 1].ravel(), 200)
    # Calls that need other DEMs and residual limits interleave with calls that run together.
    setups = [dict(h=100.0), dict(dem=dem), dict(), dict(h=100.0, max_residual=0.0)]
    serial = [shared.image_to_ground(sample, row, **setup) for setup in setups]
    back = shared.ground_to_image(*serial[1][:2], dem=dem)

    def job(i):
        model = shared if i % 5 else senmod.open(path)
        if i % 5 == 4:
            return model.ground_to_image(*serial[1][:2], dem=dem)
        return model.image_to_ground(sample, row, **setups[i % 4])

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for i, result in enumerate(pool.map(job, range(20))):
            want = back if i % 5 == 4 else serial[i % 4]
            for got, expected in zip(result, want):
                np.testing.assert_array_equal(got, expected)


def test_front_ends_agree_on_hostile_dems_and_points(sample_dir, tmp_path):
    """The command, Python, footprint and ortho take one policy for a DEM without a valid cell,
    points off the DEM, points outside the domain and failed points."""
    path = os.path.join(sample_dir, "sample_rsm.ntf")
    half = str(tmp_path / "half.tif")  # the sample DEM's western half only
    subprocess.run(["gdal_translate", "-q", "-srcwin", "0", "0", "125", "200",
                    os.path.join(sample_dir, "sample_dem.tif"), half], check=True)
    empty = str(tmp_path / "empty.tif")  # no valid cell at all
    subprocess.run(["gdal_create", "-q", "-outsize", "20", "20", "-ot", "Float32", "-burn",
                    "-9999", "-a_nodata", "-9999", "-a_srs", "EPSG:4326", "-a_ullr", "7.4",
                    "46.99", "7.5", "46.91", empty], check=True)
    points = np.array([[100.0, 100.0], [1400.0, 900.0], [1e6, 5.0], [700.0, 500.0]])
    model = senmod.open(path)
    for dem in (half, empty):
        lon, lat, h, status = model.image_to_ground(points[:, 0], points[:, 1], dem=dem,
                                                    return_status=True)
        done = subprocess.run([os.environ["SENMOD_COMMAND"], "image-to-ground", path, "--dem",
                               dem], input="".join(f"{s!r} {r!r}\n" for s, r in points),
                              capture_output=True, text=True)
        assert done.returncode == 1  # the point outside the domain
        expected = np.array([[float(v) for v in line.split()]
                             for line in done.stdout.splitlines()])
        np.testing.assert_array_equal(np.stack([lon, lat, h], 1), expected)
        assert status[2] == senmod.POINT_OUTSIDE_DOMAIN and "3: the point is outside" in done.stderr
        off = status == senmod.POINT_OFF_DEM
        assert f"{off.sum()} of 4 points were off the DEM" in done.stderr
        assert np.all(h[off] == model.info()["mean_height"] if dem == empty else h[off] > 0)
    assert list(status) == [senmod.POINT_OFF_DEM] * 2 + [senmod.POINT_OUTSIDE_DOMAIN,
                                                         senmod.POINT_OFF_DEM]

    # A DEM without a valid cell: footprint and ortho take the model's mean height, as the
    # points do, through Python and through the command alike.
    mean = model.info()["mean_height"]
    ring = model.footprint(dem=empty)["features"][0]["geometry"]
    assert ring == model.footprint(height=mean)["features"][0]["geometry"]
    command = json.loads(subprocess.run([os.environ["SENMOD_COMMAND"], "footprint", path, "--dem",
                                         empty], capture_output=True, text=True,
                                        check=True).stdout)
    assert command["features"][0]["geometry"] == ring
    ours = str(tmp_path / "python.tif")
    model.ortho(path, ours, dem=empty, tr=(20, 20))
    theirs = str(tmp_path / "command.tif")
    subprocess.run([os.environ["SENMOD_COMMAND"], "ortho", path, "--dem", empty, "--tr", "20",
                    "20", "-o", theirs, "--quiet"], check=True)
    with open(ours, "rb") as a, open(theirs, "rb") as b:
        assert a.read() == b.read()


class FsPath:
    """An os.PathLike that is neither str nor pathlib's."""

    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


def test_file_names_are_bytes_as_the_os_module_takes_them(models, sample_dir, tmp_path):
    """str, bytes and os.PathLike of either reach the file system as the same bytes, also those
    that are not UTF-8; texts naming such files stay readable; a NUL is refused."""
    model = senmod.open(models["nitf-rsm"][0])
    folder = os.fsencode(tmp_path)
    name = os.path.join(folder, b"mod\xe8le \xff.smod")
    model.save(name)
    assert os.listdir(folder) == [os.path.basename(name)]
    points = model.image_to_ground([100.0, 900.0], [50.0, 700.0])
    for given in (name, os.fsdecode(name), FsPath(name), FsPath(os.fsdecode(name))):
        reopened = senmod.open(given)
        assert reopened.path == os.fsdecode(name)
        np.testing.assert_array_equal(reopened.image_to_ground([100.0, 900.0], [50.0, 700.0]),
                                      points)
    assert pickle.loads(pickle.dumps(reopened)).path == os.fsdecode(name)
    assert reopened.info()["file"] == name.decode("utf-8", "replace")
    with pytest.raises(senmod.Error, match=re.escape("missing \\xff.ntf")):
        senmod.open(os.path.join(folder, b"missing \xff.ntf"))

    dem = os.path.join(folder, b"d\xe9m.tif")
    shutil.copy(os.path.join(sample_dir, "sample_dem.tif"), dem)
    image = os.path.join(folder, b"im\xe1ge.ntf")
    shutil.copy(models["nitf-rsm"][0], image)
    on_dem = model.image_to_ground([100.0], [50.0], dem=os.path.join(sample_dir, "sample_dem.tif"))
    np.testing.assert_array_equal(model.image_to_ground([100.0], [50.0], dem=FsPath(dem)), on_dem)
    heights = model.footprint(dem=dem)["features"][0]["properties"]["heights"]
    assert heights.endswith(dem.decode("utf-8", "replace"))
    output = os.path.join(folder, b"\xf6rtho.tif")
    assert model.ortho(image, FsPath(output), dem=dem, tr=(50, 50), threads=1)["output"] == \
        output.decode("utf-8", "replace")
    assert os.path.getsize(output) > 0

    nul = os.path.join(folder, b"x\0.tif")
    for call in (lambda: senmod.open(nul), lambda: model.save(FsPath(nul)),
                 lambda: model.ground_to_image([7.4], [46.9], dem=nul),
                 lambda: model.footprint(dem=os.fsdecode(nul)),
                 lambda: model.ortho(nul, output + b"2"), lambda: model.ortho(image, nul)):
        with pytest.raises(ValueError, match="NUL"):
            call()
    assert len(os.listdir(folder)) == 4


def fnv1a64(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xffffffffffffffff
    return value


def test_model_source_that_is_not_utf8_gives_valid_json(models, tmp_path):
    """Valid UTF-8 stays as it is; each maximal subpart of an ill-formed sequence becomes one
    U+FFFD, as Python's decoder does, in the module and in the command."""
    source = (b'RSM "q" \\ \x01 \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 | \xe9 \xc0\xaf \xe0\x80\x80 '
              b"\xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x82 \xf0\x9f\x98 \x80\xbf \xfe\xff \xf0\x9f")
    data = open(models["model-file"][0], "rb").read()
    # magic, version, then the source as a u32 length and its bytes; the checksum last.
    old = struct.unpack_from("<I", data, 12)[0]
    body = data[:12] + struct.pack("<I", len(source)) + source + data[16 + old:-8]
    path = tmp_path / "hostile.smod"
    path.write_bytes(body + struct.pack("<Q", fnv1a64(body)))

    info = senmod.open(path).info()
    assert info["source"] == source.decode("utf-8", "replace")
    assert "\u00e9\u20ac\U0001f600 | \ufffd " in info["source"]
    done = subprocess.run([os.environ["SENMOD_COMMAND"], "info", str(path), "--json"],
                          capture_output=True, check=True)
    assert json.loads(done.stdout.decode("utf-8")) == info
    # The footprint's properties, which GDAL writes as the bytes it is given.
    done = subprocess.run([os.environ["SENMOD_COMMAND"], "footprint", str(path)],
                          capture_output=True, check=True)
    properties = json.loads(done.stdout.decode("utf-8"))["features"][0]["properties"]
    assert properties["source"] == source.decode("utf-8", "replace")


def test_a_dem_rewritten_between_calls_is_read_again(models, tmp_path):
    path, grid = models["nitf-rsm"]
    dem = str(tmp_path / "dem.tif")

    def write_dem(height, mtime):
        subprocess.run(["gdal_create", "-q", "-outsize", "20", "20", "-ot", "Float32", "-burn",
                        str(height), "-a_srs", "EPSG:4326", "-a_ullr", "7.4", "46.99", "7.5",
                        "46.91", dem], check=True)
        os.utime(dem, (mtime, mtime))

    model = senmod.open(path)
    sample, row = grid[..., 0], grid[..., 1]
    write_dem(100, 1_000_000_000)
    np.testing.assert_allclose(model.image_to_ground(sample, row, dem=dem)[2], 100.0, atol=1e-9)
    write_dem(250, 1_000_000_100)
    np.testing.assert_allclose(model.image_to_ground(sample, row, dem=dem)[2], 250.0, atol=1e-9)
    lowest = model.footprint(dem=dem)["features"][0]["properties"]["lowest_height"]
    assert abs(lowest - 250.0) < 1e-9
    os.remove(dem)
    with pytest.raises(senmod.Error, match="dem.tif"):
        model.ground_to_image(7.45, 46.95, dem=dem)


def test_accuracy_of_an_rpcs_error_figures_and_parameters_applied(tmp_path, written_models, sample_dir):
    from osgeo import gdal

    gdal.UseExceptions()
    source = gdal.Open(str(written_models / "rpc00b.ntf"))
    rpc = dict(source.GetMetadata("RPC"))
    rpc.update(ERR_BIAS="2", ERR_RAND="1")
    tif = str(tmp_path / "rpc.tif")
    out = gdal.GetDriverByName("GTiff").Create(tif, source.RasterXSize, source.RasterYSize, 1)
    out.SetMetadata(rpc, "RPC")
    out = None
    m = senmod.open(tif)

    p = m.adjustable_parameters()
    assert p["names"] == ["GXO", "GYO"] and p["source"] == "ERR_BIAS, ERR_RAND"
    np.testing.assert_array_equal(p["covariance"], np.diag([5.0, 5.0]))

    # Broadcast shapes; a round error of variance 5 m² per axis at the RPC's offset point.
    sample, row = np.array([[100.0], [400.0]]), np.array([100.0, 300.0, 500.0])
    a = m.accuracy(sample, row, height=float(rpc["HEIGHT_OFF"]))
    assert a["ce90"].shape == (2, 3)
    np.testing.assert_allclose(a["ce90"], 2.1459660262893472 * np.sqrt(5.0), rtol=2e-3)
    assert m.ground_covariance(sample, row, height_sigma=3.0).shape == (2, 3, 3, 3)
    cov = m.image_covariance(a["lon"], a["lat"], a["h"])
    assert cov.shape == (2, 3, 2, 2)
    np.testing.assert_array_equal(cov[..., 0, 1], cov[..., 1, 0])

    # An offset of 10 m east moves the image as the ground point moved 10 m east would (to the
    # tilt between the horizons here and at the offset point), and
    # a pickled copy keeps it.
    moved = m.with_parameters([10.0, 0.0])
    lon, lat, h = a["lon"][0, 1], a["lat"][0, 1], a["h"][0, 1]
    n = 6378137.0 / np.sqrt(1.0 - 0.00669437999014 * np.sin(np.radians(lat)) ** 2)
    east = np.degrees(10.0 / ((n + h) * np.cos(np.radians(lat))))
    np.testing.assert_allclose(moved.ground_to_image(lon, lat, h), m.ground_to_image(lon + east, lat, h),
                               atol=1e-3)
    copy = pickle.loads(pickle.dumps(moved))
    assert copy.ground_to_image(lon, lat, h) == moved.ground_to_image(lon, lat, h)
    with pytest.raises(senmod.Error, match="adjustable parameters, not 1"):
        m.with_parameters([1.0])
    with pytest.raises(senmod.Error, match="no error covariance"):
        senmod.open(os.path.join(sample_dir, "sample_rsm.ntf")).accuracy(10, 10)


@pytest.mark.parametrize("kind", KINDS)
def test_rpc_export_read_back_gives_the_models_image_positions(models, kind, sample_dir, tmp_path):
    path, grid = models[kind]
    model = senmod.open(path)
    copy, image = tmp_path / "copy.tif", os.path.join(sample_dir, "sample_rsm.ntf")
    written = model.to_rpc(copy, grid=10, heights=5, image=image)
    assert written["format"] == "GTIFF"
    # ERR_BIAS is the model's own, unknown without an error covariance.
    has_covariance = model.adjustable_parameters()["covariance"] is not None
    assert (written["err_bias_m"] >= 0) if has_covariance else (written["err_bias_m"] == -1)
    assert written["fit_points"] == 10 * 10 * 5 and written["check_points"] == 20 * 20 * 10
    assert 0 <= written["residual_mean_px"] <= written["residual_max_px"] < 0.05
    # The RPC read back is a model of the "center" convention: GDAL's pixel/line less 0.5.
    rpc = senmod.open(copy)
    shift = 0.5 if model.info()["pixel_convention"] == "corner" else 0.0
    h = written["height_offset"] + written["height_scale"] * np.linspace(-1, 1, grid[..., 0].size)
    lon, lat, _ = model.image_to_ground(grid[..., 0].ravel(), grid[..., 1].ravel(), h=h)
    sample, row = model.ground_to_image(lon, lat, h=h)
    rpc_sample, rpc_row = rpc.ground_to_image(lon, lat, h=h)
    miss = np.hypot(rpc_sample + shift - sample, rpc_row + shift - row)
    assert miss.max() <= 1.1 * written["residual_max_px"]
    printed = run_command("convert", path, str(tmp_path / "again.tif"), "--to", "rpc", "--grid",
                          "10", "--heights", "5", "--image", image)
    mean, largest = written["residual_mean_px"], written["residual_max_px"]
    assert f"mean {mean:.3g} px, max {largest:.3g} px" in printed


def test_rpc_export_refusals_leave_nothing(models, tmp_path):
    model = senmod.open(models["nitf-rsm"][0])
    with pytest.raises(senmod.Error, match="more than the 1e-09 allowed"):
        model.to_rpc(tmp_path / "a.RPB", max_residual=1e-9)
    with pytest.raises(senmod.Error, match="DEGREE needs a whole number from 1 to 3"):
        model.to_rpc(tmp_path / "a.RPB", degree=5)
    with pytest.raises(senmod.Error, match="the name says no RPC format"):
        model.to_rpc(tmp_path / "a.txt")
    assert list(tmp_path.iterdir()) == []


def test_refine_recovers_a_known_image_shift_from_a_file_or_an_array(sample_dir, tmp_path):
    model = senmod.open(os.path.join(sample_dir, "sample_rsm.ntf"))
    sample, row = [a.ravel() for a in np.meshgrid(np.linspace(80, 1400, 4), np.linspace(60, 900, 3))]
    h = np.linspace(300, 900, sample.size)
    lon, lat, _ = model.image_to_ground(sample, row, h)
    noise = np.random.default_rng(2).normal(0, 0.2, (2, sample.size))
    measured = np.column_stack([sample + 3.1 + noise[0], row - 2.2 + noise[1], lon, lat, h,
                                np.zeros(sample.size), np.zeros(sample.size),
                                np.full(sample.size, 0.2)])
    refined, report = model.refine(measured, params="image-offset")
    values = {p["name"]: (p["value"], p["sigma"]) for p in report["parameters"]}
    assert abs(values["ICO"][0] - 3.1) < 4 * values["ICO"][1] < 0.5
    assert abs(values["IRO"][0] + 2.2) < 4 * values["IRO"][1] < 0.5
    assert report["rms_before_px"] > 3 and report["rms_after_px"] < 0.5
    s, r = refined.ground_to_image(lon, lat, h)
    assert np.allclose(s - sample, values["ICO"][0], atol=1e-6)
    gcps = tmp_path / "gcps.txt"
    gcps.write_text("".join(" ".join(repr(float(v)) for v in p) + f" P{i}\n"
                            for i, p in enumerate(measured)))
    again, text_report = model.refine(gcps, params="image-offset")
    assert text_report["parameters"] == report["parameters"]
    assert [p["id"] for p in text_report["points"]][:2] == ["P0", "P1"]
    with pytest.raises(TypeError, match="refined"):
        pickle.dumps(refined)
    with pytest.raises(senmod.Error, match="too few"):
        model.refine(measured[:2], params="ground-offset-rotation")
    with pytest.raises(senmod.Error, match="name a set"):
        model.refine(measured)
    with pytest.raises(ValueError, match="5..8"):
        model.refine(measured[:, :4], params="image-offset")
