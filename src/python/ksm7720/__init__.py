# The package's names are those of its extension, ksm7720._ksm7720 (built from src/python),
# and two aliases; the stub __init__.pyi and py.typed beside this file give type checkers
# its types.
import typing as _typing

from ._ksm7720 import *  # noqa: F403
from ._ksm7720 import Blower, Kind, Sensor, Supply, __doc__, __version__  # noqa: F401

# What the methods take for a kind and for an object, for scripts' own annotations.
KindName = _typing.Union[str, Kind]
ObjectName = _typing.Union[str, Blower, Supply, Sensor]
