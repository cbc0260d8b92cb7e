"""The package as others install it: by its CMake install rules (mypy must take its stub).
CTest gives the paths."""

import os
import subprocess
import sys

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

