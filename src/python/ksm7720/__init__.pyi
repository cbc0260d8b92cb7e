"""Type hints for ksm7720, the KS M7720 VXI mainframe from Python."""

import datetime
import enum
from typing import Iterable, Iterator, Literal, Optional, Union, overload

__version__: str

class Error(Exception):
    """A failure of the mainframe, its libraries or a call."""

    status: Optional[int]
    status_name: Optional[str]
    paths: list[str]
    candidates: list[str]
    entries: list["ErrorEntry"]

class LibraryNotFoundError(Error):
    """The VISA or driver library could not be loaded; paths lists the names tried."""

class NotAMainframeError(Error):
    """The resource is not a KS M7720 mainframe."""

class InstrumentTimeoutError(Error, TimeoutError):
    """The mainframe did not answer within the time-out."""

class UnknownObjectError(Error, ValueError):
    """A kind, object, time unit or history target the mainframe does not have."""

class Kind(str, enum.Enum):
    def __new__(cls, value: str) -> "Kind": ...
    BLOWER = "BLOWER"
    CURRENT = "CURRENT"
    POWER = "POWER"
    TEMPERATURE = "TEMPERATURE"
    VOLT = "VOLT"

class Blower(str, enum.Enum):
    def __new__(cls, value: str) -> "Blower": ...
    BLOWER1 = "BLOWER1"
    BLOWER2 = "BLOWER2"
    BLOWER3 = "BLOWER3"

class Supply(str, enum.Enum):
    def __new__(cls, value: str) -> "Supply": ...
    P5 = "P5"
    P12 = "P12"
    N12 = "N12"
    P24 = "P24"
    N24 = "N24"
    N5PT2 = "N5PT2"
    N2 = "N2"

class Sensor(str, enum.Enum):
    def __new__(cls, value: str) -> "Sensor": ...
    OUT0 = "OUT0"
    OUT1 = "OUT1"
    OUT2 = "OUT2"
    OUT3 = "OUT3"
    OUT4 = "OUT4"
    OUT5 = "OUT5"
    OUT6 = "OUT6"
    OUT7 = "OUT7"
    OUT8 = "OUT8"
    OUT9 = "OUT9"
    OUT10 = "OUT10"
    OUT11 = "OUT11"
    OUT12 = "OUT12"
    DELT0 = "DELT0"
    DELT1 = "DELT1"
    DELT2 = "DELT2"
    DELT3 = "DELT3"
    DELT4 = "DELT4"
    DELT5 = "DELT5"
    DELT6 = "DELT6"
    DELT7 = "DELT7"
    DELT8 = "DELT8"
    DELT9 = "DELT9"
    DELT10 = "DELT10"
    DELT11 = "DELT11"
    DELT12 = "DELT12"
    AMBIENT = "AMBIENT"

class TimeUnit(str, enum.Enum):
    def __new__(cls, value: str) -> "TimeUnit": ...
    HOURS = "hours"
    MINUTES = "minutes"
    SECONDS = "seconds"

KindName = Union[str, Kind]
ObjectName = Union[str, Blower, Supply, Sensor]

class Reading:
    """One value of one object, as the mainframe gave it and in base SI units."""

    @property
    def kind(self) -> str: ...
    @property
    def object(self) -> str: ...
    @property
    def name(self) -> str:
        """Deprecated (a DeprecationWarning): the same as object."""
    @property
    def position(self) -> Literal["front", "middle", "rear", ""]: ...
    @property
    def value(self) -> float: ...
    @property
    def unit(self) -> str: ...
    @property
    def si_value(self) -> float: ...
    @property
    def si_unit(self) -> str: ...
    @property
    def object_over_limit(self) -> Optional[bool]: ...
    @property
    def time(self) -> datetime.datetime: ...

class ErrorEntry:
    """One entry of the mainframe's error queue; unpacks as (number, text)."""

    @property
    def number(self) -> int: ...
    @property
    def text(self) -> str: ...
    def __iter__(self) -> Iterator[Union[int, str]]: ...

class Snapshot:
    """Readings taken in one call, with the error-queue entries met on the way."""

    @property
    def resource(self) -> str: ...
    @property
    def time(self) -> datetime.datetime: ...
    @property
    def duration(self) -> float: ...
    @property
    def readings(self) -> list[Reading]: ...
    @property
    def entries(self) -> list[ErrorEntry]: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Reading]: ...
    def __getitem__(self, index: int) -> Reading: ...

class Histogram:
    """One object's histogram."""

    @property
    def kind(self) -> str: ...
    @property
    def object(self) -> str: ...
    @property
    def name(self) -> str:
        """Deprecated (a DeprecationWarning): the same as object."""
    @property
    def edges(self) -> list[tuple[int, int]]: ...
    @property
    def counts(self) -> list[int]: ...
    @property
    def unit(self) -> str: ...
    @property
    def time_unit(self) -> str: ...
    @property
    def time(self) -> datetime.datetime: ...

class Resource:
    """A VISA resource as the search found it."""

    @property
    def resource(self) -> str: ...
    @property
    def interface(self) -> str: ...
    @property
    def mainframe(self) -> bool: ...

class SelfTest:
    """The mainframe's self-test result."""

    @property
    def result(self) -> int: ...
    @property
    def text(self) -> str: ...
    @property
    def passed(self) -> bool: ...

def resources() -> list[Resource]:
    """Every VISA resource the search finds."""

class Mainframe:
    """An open, identified mainframe; a context manager."""

    def __init__(
        self, resource: Optional[str] = None, *, timeout: float = 12.0, accept_any: bool = False
    ) -> None: ...
    @property
    def resource(self) -> str: ...
    @property
    def timeout(self) -> float: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Mainframe":
        """The mainframe itself; a closed one raises Error."""
    def __exit__(self, *args: object) -> Literal[False]: ...
    def read(self, kind: KindName, name: ObjectName) -> Snapshot: ...
    def snapshot(
        self, kinds: Union[None, KindName, Iterable[KindName]] = None
    ) -> Snapshot: ...
    def histogram(self, kind: KindName, name: ObjectName) -> Histogram: ...
    def errors(self) -> list[ErrorEntry]: ...
    def time_unit(self) -> str: ...
    def set_time_unit(self, unit: Union[str, TimeUnit]) -> None: ...
    def set_limit(self, kind: KindName, name: ObjectName, value: float) -> None: ...
    def save(self) -> None: ...
    def message(self, text: str) -> None: ...
    @overload
    def reset_history(self, target: Literal["all", "queue"]) -> None: ...
    @overload
    def reset_history(self, target: KindName, name: ObjectName) -> None: ...
    def reset(self) -> None: ...
    def self_test(self) -> SelfTest: ...
