"""Fixtures of the Python module's tests: the model files of every kind the command reads.

ctest sets SENMOD_COMMAND (the senmod command), SENMOD_WRITE_MODELS (the program that writes the
NITF files only GDAL's C++ face can make), SENMOD_TEST_DATA (tests/data) and SENMOD_SAMPLE
(data/sample), and puts the built module on PYTHONPATH.
"""
import os
import subprocess

import numpy as np
import pytest

import senmod


def _env(name):
    value = os.environ.get(name)
    if not value:
        pytest.skip(f"{name} is not set (run the tests through ctest)")
    return value


@pytest.fixture(scope="session")
def sample_dir():
    return _env("SENMOD_SAMPLE")


@pytest.fixture(scope="session")
def test_data():
    return _env("SENMOD_TEST_DATA")


@pytest.fixture(scope="session")
def written_models(tmp_path_factory, test_data):
    out = tmp_path_factory.mktemp("models")
    subprocess.run([_env("SENMOD_WRITE_MODELS"), test_data, str(out)], check=True)
    return out


@pytest.fixture(scope="session")
def models(sample_dir, written_models, tmp_path_factory):
    """Every kind of model file, by name, with image points inside its image."""
    smod = tmp_path_factory.mktemp("smod") / "sample.smod"
    senmod.open(os.path.join(sample_dir, "sample_rsm.ntf")).save(smod)
    grid = np.stack(np.meshgrid(np.linspace(50, 950, 4), np.linspace(40, 750, 3)), -1)
    return {
        "nitf-rsm": (os.path.join(sample_dir, "sample_rsm.ntf"), grid),
        "nga-rectangular": (str(written_models / "i_6130a.ntf"), grid * 4),
        "rpc00b": (str(written_models / "rpc00b.ntf"), grid),
        "model-file": (str(smod), grid),
    }


def run_command(*args, points=None):
    """Output of the senmod command as an array of rows of numbers (or its text)."""
    text = "".join(" ".join(repr(float(v)) for v in p) + "\n" for p in points) if points is not None else None
    done = subprocess.run([_env("SENMOD_COMMAND"), *args], input=text, capture_output=True,
                          text=True, check=True)
    return done.stdout
