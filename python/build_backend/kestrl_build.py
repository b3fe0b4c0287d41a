"""The build backend `pip install .` uses: CMake builds the module, and the
wheel is zipped here with the standard library alone, so building needs
nothing beyond what the build machine's packages provide (CMake, a C++20
compiler, pybind11, nlohmann-json, the interpreter's headers) and no
downloads.

Extra CMake arguments: the CMAKE_ARGS environment variable, or
`--config-settings=cmake-args="-DX=Y ..."`.
"""

import base64
import io
import hashlib
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
NAME = "kestrl"


def _version():
    for line in (ROOT / "CMakeLists.txt").read_text().splitlines():
        if line.startswith("project(") and " VERSION " in line:
            return line.split(" VERSION ")[1].split()[0]
    raise RuntimeError("no project version in CMakeLists.txt")


def _metadata():
    return (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {_version()}\n"
            "Summary: Kestrl's colour tables and halftone engines on NumPy arrays\n"
            "Requires-Python: >=3.8\nRequires-Dist: numpy\n")


def _tag():
    interpreter = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"{interpreter}-{interpreter}-{platform}"


def _clean_environment():
    """The environment without a build front end's isolation, so CMake's
    probe of the interpreter sees it as it is."""
    env = dict(os.environ)
    for name in ("PYTHONPATH", "PYTHONNOUSERSITE", "PYTHONHOME"):
        env.pop(name, None)
    return env


def _build_module(build_dir, config_settings):
    extra = shlex.split(os.environ.get("CMAKE_ARGS", ""))
    extra += shlex.split((config_settings or {}).get("cmake-args", ""))
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    env = _clean_environment()
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), *generator,
                    "-DCMAKE_BUILD_TYPE=Release", "-DKESTRL_BUILD_TESTS=OFF",
                    "-DKESTRL_BUILD_BENCHMARKS=OFF", "-DKESTRL_BUILD_TOOLS=OFF",
                    "-DKESTRL_BUILD_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}", *extra],
                   check=True, env=env)
    subprocess.run(["cmake", "--build", str(build_dir), "--target", "kestrl_python"], check=True,
                   env=env)
    package = build_dir / "python" / NAME
    if not any(package.glob("_kestrl*")):
        raise RuntimeError("CMake did not build the module; see its output above")
    return package


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    dist_info = f"{NAME}-{_version()}.dist-info"
    wheel_name = f"{NAME}-{_version()}-{_tag()}.whl"
    with tempfile.TemporaryDirectory(prefix="kestrl-build-") as temp:
        package = _build_module(Path(temp), config_settings)
        files = {f"{NAME}/{p.name}": p.read_bytes() for p in sorted(package.iterdir()) if p.is_file()}
        files[f"{dist_info}/METADATA"] = _metadata().encode()
        files[f"{dist_info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: kestrl_build\n"
                                       f"Root-Is-Purelib: false\nTag: {_tag()}\n").encode()
        record = [_record_line(path, data) for path, data in files.items()]
        record.append(f"{dist_info}/RECORD,,")
        files[f"{dist_info}/RECORD"] = ("\n".join(record) + "\n").encode()
        with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as whl:
            for path, data in files.items():
                whl.writestr(path, data)
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    """The checkout's tracked files (git ls-files) with PKG-INFO."""
    base = f"{NAME}-{_version()}"
    tracked = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, check=True,
                             capture_output=True).stdout.decode().split("\0")
    name = f"{base}.tar.gz"
    with tarfile.open(Path(sdist_directory) / name, "w:gz") as tar:
        for path in filter(None, tracked):
            tar.add(ROOT / path, arcname=f"{base}/{path}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return name
