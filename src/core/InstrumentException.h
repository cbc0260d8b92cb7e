#pragma once
// Thrown by a failing live instrument operation. It carries nothing: the status stays
// in the instrument and is read back with GetLastStatus().
class CInstrumentException {};
