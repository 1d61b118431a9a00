"""The build backend of the vantry Python package, on the standard library alone.

The package is pure Python, so a wheel is a zip of vantry/ with its metadata; a backend of our
own keeps `pip install ./python` working on a machine without a network or setuptools (pip
would otherwise fetch the backend named in pyproject.toml)."""
import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAME = "vantry"
TAG = "py3-none-any"


def _version():
    with open(os.path.join(HERE, NAME, "__init__.py"), encoding="utf-8") as f:
        return re.search(r'^__version__ = "([^"]+)"', f.read(), re.M).group(1)


def _metadata():
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: Keeps a host application's "
            "data encrypted on disk: sealed and protected files\nAuthor: the Vantry developers\n"
            "License: MIT\nRequires-Python: >=3.8\n" % (NAME, _version())).encode()


def _sources():
    """The package's modules, as (path in the archive, path on disk), in a stable order. A
    module an installation writes (_installed.py) is not part of the package."""
    folder = os.path.join(HERE, NAME)
    return [(NAME + "/" + f, os.path.join(folder, f)) for f in sorted(os.listdir(folder))
            if f.endswith(".py") and f != "_installed.py"]


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d\n" % (path, digest, len(data))


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    info = "%s-%s.dist-info" % (NAME, _version())
    files = [(archived, open(path, "rb").read()) for archived, path in _sources()]
    license_file = os.path.join(HERE, "..", "LICENSE")
    if os.path.exists(license_file):
        files.append((info + "/LICENSE", open(license_file, "rb").read()))
    files.append((info + "/METADATA", _metadata()))
    files.append((info + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: vantry_build\n"
                                    "Root-Is-Purelib: true\nTag: %s\n" % TAG).encode()))
    record = "".join(_record_line(path, data) for path, data in files) + info + "/RECORD,,\n"
    files.append((info + "/RECORD", record.encode()))
    wheel = "%s-%s-%s.whl" % (NAME, _version(), TAG)
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel), "w", zipfile.ZIP_DEFLATED) as z:
        for path, data in files:
            z.writestr(zipfile.ZipInfo(path, (1980, 1, 1, 0, 0, 0)), data)
    return wheel


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (NAME, _version())
    archive = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, archive), "w:gz") as tar:
        for archived, path in _sources() + [
                ("pyproject.toml", os.path.join(HERE, "pyproject.toml")),
                ("build_backend/vantry_build.py", os.path.abspath(__file__))]:
            tar.add(path, base + "/" + archived)
        info = tarfile.TarInfo(base + "/PKG-INFO")
        info.size = len(_metadata())
        tar.addfile(info, io.BytesIO(_metadata()))
    return archive
