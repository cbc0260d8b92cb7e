"""The package as others install it: by its CMake install rules (mypy must take its stub)
and by pip from the source tree into a virtual environment. CTest gives the paths."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

SCRIPT = """import ksm7720
with ksm7720.Mainframe("VXI0::1::INSTR", timeout=2) as rack:
    volts: list[float] = [r.si_value for r in rack.snapshot(ksm7720.Kind.VOLT)]
    unit: int = rack.time_unit()
"""


def test_mypy_takes_the_stub_of_the_installed_package(tmp_path):
    subprocess.run([os.environ["CMAKE_COMMAND"], "--install", os.environ["KSM7720_PYTHON_BUILD"],
                    "--component", "python", "--prefix", "/usr"],
                   env=dict(os.environ, DESTDIR=str(tmp_path / "root")), check=True,
                   stdout=subprocess.DEVNULL)
    (tmp_path / "script.py").write_text(SCRIPT)
    site = tmp_path / "root/usr/lib/python3/dist-packages"
    check = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "script.py"],
                           cwd=tmp_path, env=dict(os.environ, PYTHONPATH=str(site)),
                           capture_output=True, text=True)
    # Without the stub mypy says it cannot find the module, or (told to ignore that) nothing.
    assert check.stdout.splitlines()[0] == (
        'script.py:4: error: Incompatible types in assignment (expression has type "str", '
        'variable has type "int")  [assignment]'), check.stdout


def source_copy(folder):
    """The source tree without its build folders, as a release tarball holds it."""
    source = Path(__file__).resolve().parents[2]
    top = {n for n in os.listdir(source) if n.startswith(("build", ".git"))}
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(source, folder, ignore=lambda d, names: top if d == str(source) else [])
    return folder


def test_pip_builds_and_installs_into_a_virtual_environment(bench, tmp_path):
    # Beside the build, at the same place every run, so the compiler cache is used again.
    source = source_copy(Path(os.environ["KSM7720_PIP_SOURCE"]))
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip",
                    str(venv)], check=True)
    python = str(venv / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-index", "--no-deps", str(source)], check=True)
    shutil.rmtree(source)
    check = subprocess.run(
        [python, "-c", "import ksm7720, os; print(ksm7720.__file__); "
         "print(sorted(os.listdir(os.path.dirname(ksm7720.__file__)))); "
         "print(len(ksm7720.Mainframe('VXI0::2::INSTR').snapshot()))"],
        cwd=tmp_path, env={k: v for k, v in os.environ.items() if k != "PYTHONPATH"},
        capture_output=True, text=True, check=True)
    module, listing, count = check.stdout.splitlines()
    assert module.startswith(str(venv)) and count == "103"
    assert "'__init__.pyi'" in listing and "'py.typed'" in listing
