"""What the bench did and saw, shared by the faults, the hostile clients and the judge."""
import math
import threading
from collections import defaultdict
from dataclasses import dataclass

SCRAPE_TIMEOUT = 1.0
# A sample is stamped when its scrape starts; the scrape reads within one time-out after.
MARGIN = SCRAPE_TIMEOUT + 0.5


@dataclass
class Excursion:
    """A limit the bench held below a rack's readings: the objects, and when (time.time())."""
    rack: int
    objects: set  # {(quantity, object)} as the over-limit series label them
    sent: float  # the low limit went out
    taken: float = None  # the mainframe answered that it took it
    restoring: float = None  # the old limit went out
    restored: float = math.inf  # the mainframe answered that it took it back


class Record:
    def __init__(self):
        self.lock = threading.Lock()
        self.excursions = []
        self.faulted = set()  # racks a fault was injected on (aliases included)
        self.problems = defaultdict(list)  # assertion -> messages
        self.counts = defaultdict(int)
        self.timeline = defaultdict(list)  # action -> "+seconds(rack)"
        self.phases = {}  # hostile shape -> (start, end) in time.time()
        self.chaos_start = None

    def problem(self, assertion, message):
        with self.lock:
            self.problems[assertion].append(message)

    def count(self, what, n=1):
        with self.lock:
            self.counts[what] += n

    def excursion_at(self, rack, objects, start, end):
        """Whether the bench held a limit of one of objects below its reading on the rack at a
        time within [start - MARGIN, end + MARGIN]."""
        with self.lock:
            return any(e.rack == rack and objects & e.objects and e.sent - MARGIN <= end and
                       start <= e.restored + MARGIN for e in self.excursions)

    def excursion_held(self, rack, objects, timestamp):
        """Whether a scrape that began at timestamp read one of objects while the bench held
        its limit below the reading (set before the scrape, restored after it)."""
        with self.lock:
            return any(e.rack == rack and objects & e.objects and e.taken is not None and
                       e.taken <= timestamp and e.restoring is not None and
                       timestamp + MARGIN <= e.restoring for e in self.excursions)
