#pragma once
// Whether a read of the rack drains the mainframe's error queue (and so judges each reading
// by the entries after it) or leaves every entry for another program, such as an
// operator's panel.
enum class ErrorQueueUse { Drain, Leave };
