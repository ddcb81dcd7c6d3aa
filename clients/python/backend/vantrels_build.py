"""A build backend in the standard library alone, so that `pip install clients/python` works
without fetching setuptools or wheel from a package index (PEP 517, and PEP 660 for -e).

It packs the pure-Python package `vantrels` into a py3-none-any wheel; name, version, summary and
Python requirement come from pyproject.toml's [project] table.
"""

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE = "vantrels"


def _project():
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read().split("[project]", 1)[1].split("\n[", 1)[0]
    return dict(re.findall(r'^(\w[\w-]*)\s*=\s*"([^"]*)"', text, re.M))


def _metadata():
    p = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {p['name']}",
        f"Version: {p['version']}",
        f"Summary: {p['description']}",
        f"Requires-Python: {p['requires-python']}",
        "Description-Content-Type: text/markdown",
    ]
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        return "\n".join(lines) + "\n\n" + f.read(), p


def _package_files():
    folder = os.path.join(ROOT, PACKAGE)
    return sorted(f"{PACKAGE}/{n}" for n in os.listdir(folder) if n.endswith(".py"))


def _write_wheel(directory, files):
    """files: {name in the wheel: bytes}. Adds the dist-info and returns the wheel's file name."""
    metadata, p = _metadata()
    stem = f"{p['name']}-{p['version']}"
    info = f"{stem}.dist-info"
    files = dict(files)
    files[f"{info}/METADATA"] = metadata.encode()
    files[f"{info}/WHEEL"] = b"Wheel-Version: 1.0\nGenerator: vantrels_build\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    record = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append(f"{name},sha256={digest},{len(data)}")
    files[f"{info}/RECORD"] = ("\n".join(record + [f"{info}/RECORD,,"]) + "\n").encode()
    wheel = f"{stem}-py3-none-any.whl"
    with zipfile.ZipFile(os.path.join(directory, wheel), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)
    return wheel


def _read(name):
    with open(os.path.join(ROOT, name), "rb") as f:
        return f.read()


def get_requires_for_build_wheel(config_settings=None):
    return []


get_requires_for_build_sdist = get_requires_for_build_editable = get_requires_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, {name: _read(name) for name in _package_files()})


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, {f"_{PACKAGE}_editable.pth": (ROOT + "\n").encode()})


def build_sdist(sdist_directory, config_settings=None):
    metadata, p = _metadata()
    stem = f"{p['name']}-{p['version']}"
    names = ["pyproject.toml", "README.md", "backend/vantrels_build.py", "examples/circle.py"] + _package_files()
    with tarfile.open(os.path.join(sdist_directory, f"{stem}.tar.gz"), "w:gz") as tar:
        for name, data in [(n, _read(n)) for n in names] + [("PKG-INFO", metadata.encode())]:
            entry = tarfile.TarInfo(f"{stem}/{name}")
            entry.size, entry.mode = len(data), 0o644
            tar.addfile(entry, io.BytesIO(data))
    return f"{stem}.tar.gz"
