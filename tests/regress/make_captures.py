#!/usr/bin/env python3
"""Writes the hand-made regression captures of tests/regress/ and checks decoder output.

Each capture is a byte stream a receiver could send, after '#' header lines naming the
chronode-decode mode (and the preset receiver model). Beside every frame stands what a reader
of the protocol documents expects chronode-decode to print for it: a JSON member set that
must appear, exactly, in one output line.

    make_captures.py                       rewrites the *.log files beside this script
    make_captures.py --check DECODER       runs DECODER over them, checks every expectation

The golden NAME.jsonl files beside the captures are written by tst_regression with
CHRONODE_REGENERATE=1; --check is what keeps a regenerated golden file honest.
"""

import json
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CAPTURES = {}   # name -> (header lines, [(bytes, expectation dict or None)])


def capture(name, mode, model=None, about=""):
    header = ["# mode: %s" % mode]
    if model:
        header.append("# model: %s" % model)
    if about:
        header.append("# " + about)
    CAPTURES[name] = (header, [])
    return lambda frame, **expect: CAPTURES[name][1].append((frame, expect or None))


# --- Frame builders ----------------------------------------------------------------------

def mot(ident, payload=b"", wire=None):
    """Motorola binary: "@@" + identifier + payload, padded or cut to `wire` bytes on the line."""
    body = bytearray(b"@@" + ident.encode() + bytes(payload))
    if wire is not None:
        body = body[: wire - 3] + bytes(max(0, wire - 3 - len(body)))
    x = 0
    for b in body:
        x ^= b
    return bytes(body) + bytes([x]) + b"\r\n"


class At:
    """Big-endian fields at absolute frame offsets (the offsets of the receiver manual)."""

    def __init__(self, ident, wire):
        self.ident, self.wire, self.b = ident, wire, bytearray(wire - 3)
        self.b[0:4] = b"@@" + ident.encode()

    def put(self, off, fmt, *v):
        data = struct.pack(">" + fmt, *v)
        self.b[off: off + len(data)] = data
        return self

    def frame(self):
        return mot(self.ident, self.b[4:], self.wire)


def ubx(cls, ident, payload=b""):
    f = bytes([cls, ident]) + struct.pack("<H", len(payload)) + payload
    a = b = 0
    for c in f:
        a = (a + c) & 0xFF
        b = (b + a) & 0xFF
    return b"\xb5\x62" + f + bytes([a, b])


def nmea(body):
    x = 0
    for c in body.encode():
        x ^= c
    return b"$%s*%02X\r\n" % (body.encode(), x)


def le(fmt, *v):
    return struct.pack("<" + fmt, *v)


Z = bytes


# --- Motorola binary ---------------------------------------------------------------------

def position(eight, status, dop=0, msl_cm=4940, channels=(), sec=3, nanos=500000000,
             lat=207766190, lon=43281325, alt=8644):
    f = At("Ea" if eight else "Ba", 76 if eight else 68)
    f.put(4, "BBHBBBI", 8, 25, 2000, 4, 50, sec, nanos).put(15, "iiii", lat, lon, alt, msl_cm)
    f.put(31, "HHHBBB", 16, 320, 35, dop, 12, 4)
    for i, (sv, mode, sig, st) in enumerate(channels):
        f.put(40 + 4 * i, "BBBB", sv, mode, sig, st)
    return f.put(72 if eight else 64, "B", status).frame()


def ha(status_word=0xE40A, msl_cm=0):
    f = At("Ha", 154)
    f.put(4, "BBHBBBI", 12, 31, 2016, 23, 59, 59, 600000000).put(15, "iiii", -122400000, -360000000, -525, msl_cm)
    f.put(47, "HHHHBB", 123, 45, 3599, 12, 11, 10).put(57, "BBBBH", 5, 8, 50, 44, 0x0117)
    f.put(129, "HBBhI", status_word, 1, 2, -300, 123456).put(139, "HBBBB", 103, 7, 1, 2, 0)
    return f.put(145, "6s", b"TAG123").frame()


def en(sawtooth, odd=False):
    p = bytearray(struct.pack(">BBHB", 1, 1, 10, 3) + bytes.fromhex("00000100000000000000")
                  + struct.pack(">BBBBHBBiBi", 1, 1, 1, 2, 25, sawtooth, 12, 15, 7, -1500000000))
    if odd:   # states and words outside their lists (offsets into the frame minus four)
        for off, v in ((1, 9), (4, 8), (15, 2), (16, 3), (17, 3), (18, 3)):
            p[off] = v
    return mot("En", p, 69)


def cj(model, maker=b"COPYRIGHT 1991-2000 MOTOROLA INC.", ver=b"4", rev=b"20", tail=b"", patch=()):
    t = bytearray(b" " * 291)
    for off, s in ((0, b"@@Cj"), (6, maker), (40, b"SOFTWARE DATE  Jun 12 2008\r\n"), (84, ver),
                   (112, rev), (140, b"MODEL #    "), (148, model)) + ((170, tail),) * bool(tail) + tuple(patch):
        t[off: off + len(s)] = s
    return mot("Cj", t[4:], 294)


SELFTEST_PASS = lambda tag, names: "\n".join("@@%s %s: PASS" % (tag, n) for n in names)

m = capture("motorola-ut", "motorola", "UT", "Oncore UT: position, timing, almanac and echoed settings")
m(position(True, 0x24, 0, 4940, [(9, 8, 36, 2), (7, 8, 56, 2), (21, 8, 42, 2), (27, 8, 48, 2)]),
  text="@@Ea, 08/25/2000, 04:50:03.500000000, 2.07766190e+08, 4.32813250e+07, 86.44, 49.40, 0.16, 32.0, PDOP, "
       "3.5, 12, 4, 0x24, 9, 8, 36, 0x02, 7, 8, 56, 0x02, 21, 8, 42, 0x02, 27, 8, 48, 0x02, 0, 0, 0, 0x00, 0, 0, "
       "0, 0x00, 0, 0, 0, 0x00, 0, 0, 0, 0x00", utc="2000-08-25T04:50:03.000Z", visible=12, tracked=4,
  lat=207766190 / 3600000.0, lon=43281325 / 3600000.0, altEllipsoid=86.44, altMsl=49.4)
# Ea truncates its nanoseconds.
m(position(True, 0, 0, 1, (), 10, 999999999), utc="2000-08-25T04:50:10.000Z")
for ident, data, wire, text in [
    ("Bd", [1, 0x04, 0x10, 0x00, 0x90, 31, 0xFF, 0xFF, 0xFF, 0xFE], 23,
     "@@Bd, Valid almanac in the receiver, week = 1040, time = 144, Sats = 31, SV id mask = 0xFFFFFFFE "),
    ("Bd", [0], 23, "@@Bd, No almanac in the receiver"),
    ("Bd", [7], 23, "@@Bd, Message field error"),
    ("Bj", [0], 8, "@@Bj, No leap second pending"),
    ("Bj", [1], 8, "@@Bj, Addition of one leap second is pending"),
    ("Bj", [2], 8, "@@Bj, Subtraction of one leap second is pending"),
    ("Bo", [18], 8, "@@Bo - UTC offset = 18 seconds"),
    ("Bk", [0, 40, 0, 35, 0, 25, 0, 23, 0, 20, 0, 39, 0xFF, 0xF6, 0, 150, 0xFF, 0x38, 0, 5], 69,
     "@@Bk GDOP = 4.0, PDOP =  3.5, HDOP =  2.5, VDOP =  2.3, TDOP = 2.0, Mag Var = 3.9, Vel_N = -0.1 m/s, "
     "Vel_E = 1.5 m/s, Vel_Up = -2.0 m/s, Diff Corr Age = 5.0 ..."),
    ("Ek", [0, 40, 0, 35, 0, 25, 0, 23, 0, 20], 71,
     "@@Ek GDOP = 4.0, PDOP =  3.5, HDOP =  2.5, VDOP =  2.3, TDOP = 2.0, Mag Var = 0.0, Vel_N = 0.0 m/s, "
     "Vel_E = 0.0 m/s, Vel_Up = 0.0 m/s, Diff Corr Age = 0.0..."),
    ("Cf", [], 7, "Receiver Set to Default Values"),
    ("Cb", [4, 25, 0xAB, 0xCD, 0xEF], 33, "@@Cb SF 4 PG 25 DATA: ABCDEF 000000 000000 000000 000000 000000 000000 000000"),
    ("Eg", [1, 0xA0], 158, ["@@Eg, 01A0000000"]),   # the whole message in hex
    # Settings the receiver echoes.
    ("Aa", [23, 5, 9], 10, "Time set to 23:05:09 UTC"),
    ("Ab", [0xFF, 5, 30], 10, "GMT Correction set to -05:30"),
    ("Ab", [0, 1, 0], 10, "GMT Correction set to +01:00"),
    ("Ac", [8, 25, 0x07, 0xD0], 11, "Date set to August 25, 2000 UTC"),
    ("Ac", [13, 1, 0x07, 0xD0], 11, "Date set to ERROR 01, 2000 UTC"),
    ("Ad", struct.pack(">i", 207766190), 11, "Current Latitude set to 57.71283056 degrees"),
    ("Ae", struct.pack(">i", -43281325), 11, "Current Longitude set to -12.02259028 degrees"),
    ("Af", struct.pack(">iB", 8644, 0), 15, "Current Height set to 86.44 meters (WGS84)"),
    ("Ag", [10], 8, "Elevation limit set to 10 degrees"),
    ("Ah", [2], 8, "Satellite Selection Mode AUTOMATIC (Best Geometry)"),
    ("Ah", [3], 8, "Satellite Selection Mode ERROR"),
    ("Ai", [3, 17], 9, "Current Satellite Assignment on Channel 3 is Prn 17 "),
    ("Aj", [4], 8, "Satellite Selection xDOP: TDOP"),
    ("Ak", [25], 9, "Current xDop Hysteresis is 2.500000"),
    ("Al", [120], 9, "Current 3-D to 2-D DOP Threshold is 12.000000"),
    ("AC", [80], 9, "Current 2-D to 0-D DOP Threshold is 8.000000"),
    ("Am", [0x80, 0, 0, 1], 12, "Satellite Ignore List Mask = 0x80000001"),
    ("An", [1], 8, "Current Almanac Update Mode is NO-UPDATE"),
    ("Ap", bytes.fromhex("2F") + struct.pack(">iI", 637813700, 2982572235) + bytes.fromhex("FFF6000A0001"), 25,
     "Datum Parameters: ID 47: semi-major axis 6378137.000, inverse flattening 298.257223500, delta X -1.0, "
     "delta Y 1.0, delta Z 0.1"),
    ("Aq", [3], 8, "Corrections: Ionospheric and Tropospheric ENABLED"),
    ("Aq", [0], 8, "Corrections: Ionospheric  and Tropospheric DISABLED"),
    ("Aq", [4], 8, "Corrections: Ionospheric/Tropospheric MODE ERROR"),
    ("Ar", [1], 8, "Position Fix Mode BEST-4"),
    ("As", struct.pack(">iiiB", -3600000, 7200000, 12345, 0), 20, "Position-Hold set to  -1.00000000, 2.00000000, 123.45"),
    ("At", [2], 8, "Position Hold Mode Automatic Site Survey in Progress"),
    ("At", [3], 8, "Position Hold Mode ERROR"),
    ("Au", struct.pack(">iB", -150, 0), 12, "Altitude-Hold Height set to -1.50 meters (WGS84)"),
    ("Av", [1], 8, "Altitude Hold Mode ENABLED"),
    ("Aw", [3], 8, "Time Correction Mode Serial port = UTC, 1PPS sync = EPOCH"),
    ("Ax", [0x01, 0xF4], 9, "Epoch offset set to 500 msec"),
    ("Ay", struct.pack(">i", -1500), 11, "1pps offset set to -1.500 microseconds"),
    ("Az", struct.pack(">i", 123), 11, "1pps cable delay set to 123 nanoseconds"),
    ("AA", [0], 8, "Current Ephemeris Hold mode  DISABLED"),
    ("AB", [4], 8, "Application Type set to  STATIC"),
    ("AB", [5], 8, "Application Type set to  ERROR"),
    ("AD", [30, 60], 9, "Correction Timer Thresholds (seconds): Position Fix = 30, DGPS Output = 60"),
    ("AE", [1], 8, "Output Align-to-Minute Mode ENABLED"),
    ("AJ", [90], 8, "Current Differential Time-out (seconds) = 90"),
    ("AN", [2], 8, "Current Velocity Filter = 2"),
    ("AM", [0x01, 0x2C, 0xFF, 0xFE], 11, "3.00,-2"),
    ("AO", [2], 8, "RTCM Port set to 9600 baud"),
    ("AO", [3], 8, "RTCM Port set to ERROR baud"),
    ("AP", [1], 8, "Pulse Mode set to 100PPS output"),
    ("AQ", [1], 8, "Position Filter Select ENABLED"),
    ("AS", [2], 8, "Position Lock Select ERROR"),
    ("Ga", struct.pack(">iiiB", 3600000, -7200000, 1050, 1), 20,
     "Position Estimate set to 1.00000000 degrees lat, -2.00000000 degrees lng, 10.50 meters MSL altitude."),
    ("Gb", [12, 31, 0x07, 0xE0, 23, 59, 58, 0xFF, 5, 30], 17, "Time Estimate set to 12, 31, 2016, 23, 59, 58, -1, 5, 30."),
    ("Gc", [3], 8, "1PPS signal output set to ON IF TRAIM PASSES"),
    ("Gc", [7], 8, "1PPS signal output set to ERROR"),
    ("Gd", [3], 8, "Position Control set to AUTO-SURVEY"),
    ("Ge", [1], 8, "TRAIM set to ENABLED"),
    ("Ge", [2], 8, "TRAIM set to ERROR"),
    ("Gf", [0x00, 0x0A], 9, "@@Gf TRAIM Alarm Limit set to 10"),
    ("Gk", b"ABCDEF", 13, "Tag = ABCDEF"),
    ("SP", [0, 0, 0, 10], 11, "2nd PPS frequency is set to 10 Hz"),
    ("Sa", bytes.fromhex("0C1F07E0173B3A0200" "05012801002D01" "41022000100500"), 184,
     "12/31/2016, 23:59:58, SV=2, ST=0, [SVID 5, Type 1, C/No=40, AZ=256, EL=45, Used=1][SVID 65, Type 2, "
     "C/No=32, AZ=16, EL=5, Used=0]"),
    ("Sc", [0x83], 8, "GNSS Constellation Mode is GPS & GLONASS & SBAS"),
    ("Sc", [0], 8, "GNSS Constellation Mode is NONE (illegal)"),
    ("Sm", [1], 8, "GNSS Receiver save all settings to non-volitile memory = settings saved"),
    ("Sm", [9], 8, "GNSS Receiver save all settings to non-volitile memory = UNKNOWN, no change (illegal value)"),
    ("So", [6], 8, "GNSS Receiver @@Ha/Hn/Bb Message Configuration is Output only SBAS + QZSS constellation information"),
    ("So", [7], 8, "GNSS Receiver @@Ha/Hn/Bb Message Configuration is UNKNOWN (illegal value)"),
    ("Sp", [18], 8, "GNSS Receiver current number of leap seconds = 18"),
    ("St", [4], 8, "GNSS Receiver Date/Time/PPS Alignment is Galileo = UTC (EU) with leap seconds"),
    ("St", [5], 8, "GNSS Receiver Date/Time/PPS Alignment is UNKNOWN (illegal value)"),
    ("Sx", [0x05], 8, "GNSS Receiver Type is GPS + Galileo"),
    ("Sz", [0], 8, "System Power-On FAILURE."),
    ("Wb", [0x0A, 0xFF], 9, "0AFF"),
    ("Wo", [0x7F], 9, "D/A value = 127 (0x7F)"),
    ("Tk", [0x01, 0xAB], 65, ["<01><AB><00><00>"]),
]:
    m(mot(ident, bytes(data), wire), **{"text~" if isinstance(text, list) else "text": text})
m(en(0xF6), sawtoothNs=-10, text=
  "@@En, TRAIM (8-ch) ENABLED, limit = 010 nsec, 1PPS is ON if TRAIM is OK, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, "
  "pulse status is ON, 1PPS pulse sync is referenced to GPS, Time RAIM solution status is ALARM, Time RAIM "
  "status is neither detection or isolation possible, Sawtooth = -10.00, One-Sigma Accuracy = 25, 12, "
  "0.000000015, 7, -1.500000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000, 0, "
  "0.000000000, 0, 0.000000000")
m(en(0x7F), sawtoothNs=127)    # the bounds of the signed sawtooth byte
m(en(0x80), sawtoothNs=-128)
m(en(0, odd=True), sawtoothNs=0, **{"text~": [
    "@@En, TRAIM (8-ch) ERROR, limit = 010 nsec, 1PPS state ERROR, 0, 0, 1,",
    ", pulse status is ERROR, 1PPS pulse sync is ERROR, Time RAIM solution status is ERROR, Time RAIM status is "
    "ERROR, Sawtooth = 00.00, One-Sigma"]})
m(mot("Bn", struct.pack(">BBHB", 0, 0, 7, 5) + Z(10) + struct.pack(">BBBBHBBi", 0, 0, 0, 0, 3, 4, 3, 2), 59),
  sawtoothNs=4, text=
  "@@Bn, TRAIM (6-ch) DISBLED, limit = 007 nsec, 1PPS is ON always (Short), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
  "pulse status is OFF, 1PPS pulse sync is referenced to UTC, Time RAIM solution status is OK, Time RAIM "
  "status is detection and isolation possible, Sawtooth = 04.00, One-Sigma Accuracy = 3, 3, 0.000000002, 0, "
  "0.000000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000")
m(mot("Fa", bytes([0x40, 0x02]), 9), text=
  "Antenna Undercurrent: PASS\n@@Fa Antenna Overcurrent: FAIL\n@@Fa RTC Comm & Time: PASS\n"
  + SELFTEST_PASS("Fa", ["Temperature Sensor", "RAM", "ROM", "1KHz Presence"]
                  + ["Channel %d Correlation Test" % c for c in range(8, 1, -1)])
  + "\n@@Fa Channel 1 Correlation Test: FAIL")

m = capture("motorola-m12plus", "motorola", "M12+", "M12+ (12 channels): @@Ha, @@Hb, @@Hn, @@Gj and the self-test")
m(ha(), utc="2017-01-01T00:00:00.000Z", lat=-34, lon=-100, altEllipsoid=-5.25, text=
  "@@Ha, 12/31/2016, 23:59:59.600000000, -1.22400000e+08, -3.60000000e+08, -5.25, 0.00, 1.23, 0.45, 359.9, "
  "PDOP, 1.2, 11, 10, 0xE40A, \"TAG123\", 5, 8, 50, 44, 0x0117, " + "0, 0, 0, 0, 0x0000, " * 11
  + "1, 2, -300, 123456, 51.5, 0x07, 0x010200")
m(At("Hb", 54).put(4, "BBHBBBIiii", 1, 2, 2024, 3, 4, 5, 250000000, 1000, -2000, 1050)
  .put(31, "HHHHBBH", 1, 900, 2, 20, 5, 4, 0xC008).put(45, "6s", b"ABCDEF").frame(), utc="2024-01-02T03:04:05.000Z", text=
  "@@Hb, 01/02/2024, 03:04:05.250000000, 1.00000000e+03, -2.00000000e+03, 10.50, 0.00, 0.01, 0.02, 90.0, "
  "HDOP, 2.0, 5, 4,0xc008, \"ABCDEF\"")
m(mot("Hn", struct.pack(">BBBBIHbBi", 1, 0, 1, 2, 0x104, 12, -3, 4, -20), 78), sawtoothNs=-3, text=
  "@@Hn, Pulse on, 1PPS Ref to UTC, T-RAIM Solution Status ALARM, T-RAIM Status Can't Detect or Isolate, "
  "SVIDs Removed= 0x00000104, Sawtooth -3.00, One-Sigma Accuracy 12, 4, -0.000000020" + ", 0, 0.000000000" * 11)
m(mot("Gj", struct.pack(">bbHBBbIBBB", 17, 18, 2016, 12, 31, 0, 5, 23, 59, 60), 21),
  text="@@Gj,17,18,2016,12,31,0.000000005,23,59,60")
m(mot("Ia", bytes([0x80, 0x00, 0x10]), 10), text=
  "\n@@Ia RTC Comm & Time: FAIL\n"
  + SELFTEST_PASS("Ia", ["Temperature Sensor", "RAM", "ROM", "1KHz Presence", "Temperature Sensor Data Checksum",
                         "Oscillator Data Checksum", "Manufacturing Data Checksum"]
                  + ["Channel %d Correlation Test" % c for c in range(12, 1, -1)])
  + "\n@@Ia Channel 1 Correlation Test: FAIL")

m = capture("motorola-pvt6", "motorola", "PVT6", "PVT6 (6 channels, signal in AMU): @@Ba rounds its seconds")
m(position(False, 0x08, 0x20, 4940, [(1, 2, 3, 4), (0, 0, 0, 0), (0, 0, 0, 0), (0, 0, 0, 0), (0, 0, 0, 0),
                                     (6, 8, 10, 0x80)]),
  utc="2000-08-25T04:50:04.000Z", text=
  "@@Ba, 08/25/2000, 04:50:03.500000000, 2.07766190e+08, 4.32813250e+07, 86.44, 49.40, 0.16, 32.0, PDOP, 3.5, "
  "12, 4, 0x08, 1, 2, 3, 0x04, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 6, 8, 10, 0x80")
m(position(False, 0, 0, 1, (), 10, 500000000), utc="2000-08-25T04:50:11.000Z")
m(position(False, 0, 0, 1, (), 10, 499999999), utc="2000-08-25T04:50:10.000Z")
m(mot("Ca", bytes([0x80, 0x04]), 9), text=
  "@@Ca RTC Comm & Time: FAIL\n"
  + SELFTEST_PASS("Ca", ["DCXO SPI Comm", "EEPROM", "RAM MSByte", "RAM LSByte", "ROM MSByte Checksum",
                         "ROM LSByte Checksum", "1KHz Presence"]
                  + ["Channel %d Correlation Test" % c for c in range(6, 1, -1)])
  + "\n@@Ca Channel 1 Correlation Test: FAIL")

m = capture("motorola-vp", "motorola", "VP", "VP (8 channels): signal in AMU shown as C/No, and its self-test")
for second, amu, cno in ((20, 100, 45), (30, 0, 0), (40, 1, 5), (50, 255, 53)):
    m(position(True, 0x20, 0, 1, [(17, 8, amu, 0)], second), sats=[{"id": 17, "el": 0, "az": 0, "cno": cno}])
m(mot("Fa", bytes([0x01, 0x01]), 9), text=
  SELFTEST_PASS("Fa", ["RTC Comm & Time", "DCXO SPI Comm", "EEPROM", "RAM MSByte", "RAM LSByte",
                       "ROM MSByte Checksum", "ROM LSByte Checksum"])
  + "\n@@Fa 1KHz Presence: FAIL\n"
  + SELFTEST_PASS("Fa", ["Channel %d Correlation Test" % c for c in range(8, 1, -1)])
  + "\n@@Fa Channel 1 Correlation Test: FAIL")

m = capture("motorola-identification", "motorola-rx", None, "@@Cj identification texts of every model and maker")
for number, model in [("A1121P1111", "XT"), ("B2121P1111", "VP6"), ("B4121P1155", "VP"), ("NS1234", "VP"),
                      ("PVT6123", "PVT6"), ("P273TT12D1", "M12"), ("P121R1", "M12"), ("P283T12T11", "M12+"),
                      ("P3", "M12M"), ("R1221N1111", "GT"), ("R1221U1111", "UT"), ("R4121", "GT+"),
                      ("R5122U1115", "UT+"), ("R6", "SL"), ("T8", "VP"), ("IL-123", "M12M"), ("ZZ999", "M12M")]:
    m(cj(number.encode()), model=model, firmware="4.20")
for tail, model in [(b"SSR-6Tr", "SSR-6Tr"), (b"SSR-6Tf+", "SSR-6Tf"), (b"SSR-M8F", "SSR-M8F"), (b"SSR-M8T", "SSR-M8T")]:
    m(cj(b"SYN1234", b"COPYRIGHT 2012 Synergy Systems", tail=tail), model=model, firmware="4.20")
m(cj(b"SYN1234", b"COPYRIGHT 2012 SYNERGY SYSTEMS", b"V4", b"21", b"SSR-6Tr"), model="SSR-6Tr", firmware="V4.21")
m(cj(b"", b"x" * 20 + b"CONEXANT", b"1", b"5"), model="CNXT/NVMN", firmware="1.5")
m(cj(b"", b"x" * 20 + b"SIGNAV  "), model="SIGNAV")
m(cj(b"", b"x" * 20 + b"i-LOTUS", patch=((164, b"IL-GPS-0080-B"), (83, b"V7"))), model="TX Oncore", firmware="V7.20")

def sats(*rows):
    return [{"id": i, "el": e, "az": a, "cno": c} for i, e, a, c in rows]


# --- u-blox UBX --------------------------------------------------------------------------

def time_utc(y, mo, d, h, mi, s, nano=0, valid=7):
    return le("IIiHBBBBBB", 1000, 12, nano, y, mo, d, h, mi, s, valid)


def nav_status(fix):
    return le("IBBBBII", 7, fix, 0xDD, 0, 0, 2648, 32830)


def sv_block(chn, sv, flags, quality, cno, elev, azim, pr_res=0):
    return le("BBBBBbhi", chn, sv, flags, quality, cno, elev, azim, pr_res)


def tp5(idx, period, pulse, flags):
    return le("BBHHHIIIIiI", idx, 0, 0, 50, 0, period, period, pulse, pulse, 0, flags)


def hui(ls, wnf, dn, lsf, flags):
    return le("I", 0) + Z(16) + le("iHHHHHH", 0, 0, ls, wnf, dn, lsf, 0) + Z(32) + le("I", flags)


CFG_PRT_9600 = le("BBHIIHHHH", 1, 0, 0, 0x8C0, 9600, 3, 3, 0, 0)
SURVEY_IN = le("IIIIIII", 1, 0, 0, 0, 4000, 5008, 2000)
u = capture("ubx-messages", "ubx", None, "one of every UBX message the decoder knows, and its edges")
TP5 = ("UBX-CFG-TP5 TimePulse%d, res0 = 0, res1 = 0, antCableDelay = 50 ns, rfGroupDelay = 0 ns, freqPeriod = %s, "
       "freqPeriodLock = %s, pulseLenRatio = %s, pulseLenRatioLock = %s, userDelay = 0 ns, ubx_flags = 0x%s")
for cls, ident, payload, text in [
    (1, 0x01, le("IiiiI", 1000, -1510299, 2, 3, 552), "UBX-NAV-POSECEF iTOW = 1000, ecefX = -1510299, ecefY = 2, ecefZ = 3, pAcc = 552"),
    (1, 0x02, le("IiiiiII", 5, -1134395449, 535632563, 635459, 654413, 1200, 3400),
     "UBX-NAV-POSLLH iTOW = 5, lon = -113.43954490, lat = 53.56325630, height = 635.459, MSL = 654.413, hAcc = 1200, vAcc = 3400"),
    (1, 0x03, nav_status(3), "UBX-NAV-STATUS 3-D Fix, iTOW = 7, gpsFix = 3, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830"),
    (1, 0x03, nav_status(4), "UBX-NAV-STATUS GPS + dead reckoning combined, iTOW = 7, gpsFix = 4, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830"),
    (1, 0x03, nav_status(9), "UBX-NAV-STATUS iTOW = 7, gpsFix = 9, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830"),
    (1, 0x04, le("IHHHHHHH", 333358001, 280, 242, 140, 213, 115, 98, 60),
     "UBX-NAV-DOP iTOW = 333358001, gDOP = 2.80, pDOP = 2.42, tDOP = 1.40, vDOP = 2.13, hDOP = 1.15, nDOP = 0.98, eDOP = 0.60"),
    (1, 0x12, le("I", 1) + Z(16) + le("Ii", 150, 12345678) + Z(8), "UBX-NAV-VELNED iTOW = 1, Ground Speed = 150 cm/sec, Heading = 123.5 degrees"),
    (1, 0x20, le("IiHbBI", 333358001, 191628, 1516, 15, 7, 12), "UBX-NAV-TIMEGPS iTOW = 333358001 ... week = 1516, leap seconds = 15, valid = 07"),
    (1, 0x21, time_utc(2009, 1, 28, 20, 35, 43, 1191632),
     "UBX-NAV-TIMEUTC iTOW = 1000, tAcc = 12, nano = 1191632, date (YMD) 2009, 1, 28, Time = 20:35:43, valid = 07"),
    (1, 0x30, le("IBBH", 9, 1, 0, 0) + sv_block(0, 21, 0x0D, 6, 33, 73, 276, -83),
     "UBX-NAV-SVINFO iTOW = 9, numCh = 1, globalFlags = 00, res = 0, chn=0, svid=21, flags=0d, quality=06, cno=33, elev=73, azim=276, prRes=-83, "),
    (0x0D, 0x01, le("IIiHBB", 333344000, 0, -16813, 1516, 3, 0), "UBX-TIM-TP towMS = 333344000, towSubMS = 0, qErr = -16813, week = 1516, flags = 3, res = 0"),
    (0x0D, 0x04, le("I", 86400) + Z(16) + le("IBBH", 1234, 1, 0, 0),
     "UBX-TIM-SVIN Passed survey-in observation = 86400 sec, position observations = 1234 sec, valid = true, active = false"),
    (0x0D, 0x11, Z(4) + le("I", 32768), "UBX-TIM-DOSC ver = 0, D/A value = 32768"),
    (6, 0x00, CFG_PRT_9600, "UBX-CFG-PRT portID = UART #1, res0 = 0, res1 = 0, mode = 000008C0, baudRate = 9600, "
                            "inProtoMask = 0003, outProtoMask = 0003, flags = 0000, pad = 0"),
    (6, 0x00, le("BBHII", 7, 1, 2, 0, 115000) + Z(8), "UBX-CFG-PRT portID = unknown, res0 = 1, res1 = 2, mode = 00000000, "
                                                       "baudRate = 115000, inProtoMask = 0000, outProtoMask = 0000, flags = 0000, pad = 0"),
    (6, 0x07, le("IIBBBBHhi", 1000000, 100000, 0xFF, 0, 1, 0, 50, 0, -20),
     "UBX-CFG-TP interval = 1000000 us, length = 100000 us, status = -1, timeRef = 0, flags = 1, res = 0, "
     "antennaCableDelay = 50 ns, rfGroupDelay = 0 ns, userDelay = -20 ns"),
    (6, 0x31, tp5(0, 1000000, 100000, 0x77), TP5 % (0, "1000000 us", "1000000 us", "100000 us", "100000 us", "77")),
    (6, 0x31, tp5(0, 1000000, 0x80000000, 0x67), TP5 % (0, "1000000 us", "1000000 us", "0.500000 ratio", "0.500000 ratio", "67")),
    (6, 0x31, tp5(0, 10, 0x40000000, 0x6F), TP5 % (0, "10 Hz", "10 Hz", "0.250000 ratio", "0.250000 ratio", "6F")),
    (6, 0x31, tp5(1, 10, 100000, 0x7F), TP5 % (1, "10 Hz", "10 Hz", "100000 us", "100000 us", "7F")),
    (6, 0x1D, SURVEY_IN, "UBX-CFG-TMODE timeMode = 1, fixedPosX = 0, fixedPosY = 0, fixedPosZ = 0, fixedPosVar = 4000, "
                         "svinMinDur = 5008, svinVarLimit = 2000"),
    (6, 0x3D, SURVEY_IN, "UBX-CFG-TMODE2 timeMode = 1, flags = 0, ecefXOrLat = 0, ecefYOrLon = 0, ecefZOrAlt = 0, "
                         "fixedPosAcc = 4000, svinMinDur = 5008, svinAccLimit = 2000"),
    (6, 0x24, le("HBBiIBBHHHHBBIII", 7, 2, 3, 0, 10000, 5, 3, 250, 250, 100, 300, 0, 60, 0, 0, 0),
     "UBX-CFG-NAV5 mask = 07, dynModel = 2, fixMode = 3, fixedAlt = 0, fixedAltVar = 10000, minElev = 5, drLimit = 3, "
     "pDopMask = 250, tDopMask = 250, pAccMask = 100, tAccMask = 300, staticHoldThresh = 0, res1 = 60, res2 = 0, res3 = 0, res4 = 0"),
    (0x0A, 0x09, le("IIIIHHBBBBI", 0x1E000, 0, 0x10000, 0xEF7F, 87, 3801, 2, 1, 1, 0, 131071) + Z(17) + le("BHIII", 5, 0, 0, 0x1234, 0),
     "UBX-MON-HW pinSel = 1E000, pinBank = 0000, pinDir = 10000, pinVal = EF7F, noisePerMS = 87, agcCnt = 3801, aStatus = 2, "
     "aPower = 1, flags = 1, res1 = 0, usedMask = 131071, jamInd = 5, pinIrq = 0000, pullH = 1234, pullL = 0000"),
    (0x0A, 0x04, b"7.03 (45969)".ljust(30, b"\0") + b"00040007".ljust(10, b"\0") + b"ROM BASE 5.00".ljust(30, b"\0"),
     "UBX-MON-VER u-blox Receiver/Software Version\nSoftware Version: 7.03 (45969)\nHardware Version: 00040007\n"
     "ROM and extensions:\nROM BASE 5.00\n"),
    # The seven bytes that make no whole extension are shown as bytes.
    (0x0A, 0x04, b"5.00    Jan 09 2006 11:00:00".ljust(30, b"\0") + b"00040001".ljust(10, b"\0")
     + b"EXT CORE 5.00".ljust(30, b"\0") + b"INT EXT0 (RCV)".ljust(30, b"\0") + Z(7),
     "UBX-MON-VER u-blox Receiver/Software Version\nSoftware Version: 5.00    Jan 09 2006 11:00:00\nHardware Version: "
     "00040001\nROM and extensions:\nEXT CORE 5.00\nINT EXT0 (RCV)\n <00><00><00><00><00><00><00>"),
    (0x0B, 0x02, hui(15, 137, 7, 15, 3), "UBX-AID-HUI ... utcLS = 15, utcWNF = 137, utcDN = 7, utcLSF = 15 ... valid = 0x03 "
                                         "-->> LS Pending = 0, NTP Leap Indicator = 0"),
    (5, 0x01, b"\x06\x01", "UBX-ACK ACK clsID = 0x06, msgID = 0x01"),
    (5, 0x00, b"\x06\x00", "UBX-ACK NAK clsID = 0x06, msgID = 0x00"),
    (4, 0x02, b"u-blox ag\x01", "UBX-INF-NOTICE u-blox ag<01>"),
    (4, 0x04, b"BIST: passed", "UBX-INF-DEBUG BIST: passed"),
    (2, 0x20, b"\x01\x02", "UBX-RXM-SVSI <01><02>"),
    # Raw measurements: one SBAS satellite with lost lock; then a count the payload cannot hold.
    (2, 0x10, le("iHBB", 333358001, 2400, 1, 0) + struct.pack("<ddfBbbB", 123456789.25, 20000000.5, -1234.75, 120, 7, 45, 1),
     "UBX-RXM-RAW iTOW = 333358001, week = 2400, numSV = 1, sv=120, cpMes=123456789.250, prMes=20000000.500, "
     "doMes=-1234.750, mesQI=7, cno=45, lli=1"),
    (2, 0x10, le("iHBB", 1000, 2400, 1, 0), "UBX-RXM-RAW <E8><03><00><00><60><09><01><00>"),
    (9, 0x14, b"", "UBX-UPD-SOS"),
    (9, 0x01, b"\xff", "UBX-UPD-DOWNL <FF>"),
    (0x27, 0x00, b"\x01", "UBX-27 ???-Unknown Message Class-??? <B5><62><27><00><01><00><01><29><C7>"),
    (1, 0x09, b"\0", "UBX-NAV Unknown ID ??? <B5><62><01><09><01><00><00><0B><2C>"),
    (1, 0x02, b"\x01\x02\x03\x04", "UBX-NAV-POSLLH <01><02><03><04>"),
    (0x0A, 0x04, b"", "UBX-MON-VER"),
    (0x0D, 0x01, le("IIiHBBBB", 1, 2, 3, 4, 5, 6, 0xAA, 0x0B), "UBX-TIM-TP towMS = 1, towSubMS = 2, qErr = 3, week = 4, flags = 5, res = 6 <AA><0B>"),
]:
    u(ubx(cls, ident, payload), text=text)

u = capture("ubx-values", "ubx", None, "UBX values at their edges: time rounding, sawtooth, leap seconds, antenna, fix")
u(ubx(1, 0x02, le("IiiiiII", 5, -1134395449, 535632563, 635459, 654413, 1200, 3400)),
  lat=53.5632563, lon=-113.4395449, altEllipsoid=635.459, altMsl=654.413)
for q_err, ns in ((-2500, -2.5), (0, 0), (1, 0.001), (-16813, -16.813), (-2 ** 31, -2147483.648)):
    u(ubx(0x0D, 0x01, le("IIiHBB", 1, 0, q_err, 1516, 3, 0)), sawtoothNs=ns)
for args, iso in [((2009, 1, 28, 20, 35, 43, 1191632), "2009-01-28T20:35:43.001Z"),
                  ((2024, 2, 29, 23, 59, 59, 999500000), "2024-03-01T00:00:00.000Z"),    # half a millisecond rounds up
                  ((2000, 1, 1, 0, 0, 0, -2000000), "1999-12-31T23:59:59.998Z")]:       # a negative nano goes back
    u(ubx(1, 0x21, time_utc(*args)), utc=iso)
# UTC not yet known (validUTC clear): a cold module's time is refused, never stored.
u(ubx(1, 0x21, time_utc(1980, 1, 6, 0, 0, 1, 0, 0)), warning="WARNING: Illegal date or time decoding NAV-TIMEUTC.")
for args in [(2009, 13, 1, 0, 0, 0), (2009, 0, 1, 0, 0, 0), (2009, 2, 29, 0, 0, 0), (2009, 1, 28, 24, 0, 0),
             (2009, 1, 28, 23, 60, 0), (2009, 1, 28, 23, 59, 61), (2009, 1, 28, 23, 59, 59, 1000000001)]:
    u(ubx(1, 0x21, time_utc(*args)), warning="WARNING: Illegal date or time decoding NAV-TIMEUTC.")
u(ubx(1, 0x20, le("IiHbBI", 1, 0, 1516, 15, 0x04, 0)), leapSeconds=15)
u(ubx(1, 0x20, le("IiHbBI", 1, 0, 1516, 16, 0x03, 0)))   # leap seconds not valid: kept at 15
u(ubx(1, 0x20, le("IiHbBI", 1, 0, 1516, -1, 0x07, 0)), leapSeconds=-1)
for a_status, antenna in ((3, 1), (2, 0), (4, 2), (0, -1), (2, 0), (1, -1), (2, 0), (5, -1)):
    u(ubx(0x0A, 0x09, Z(20) + bytes([a_status]) + Z(39)), antenna=antenna)
for gps_fix, fix, navigation in ((0, 0, None), (2, 2, None), (3, 3, None), (5, 1, 1), (3, 3, 0)):
    expect = {"fix": fix}
    if navigation is not None:
        expect["navigation"] = navigation
    u(ubx(1, 0x03, nav_status(gps_fix)), **expect)
# The pending leap second of 31 December 2016 (week 1929, day 7), against the receiver's date.
HUI = ubx(0x0B, 0x02, hui(17, 1929 % 256, 7, 18, 0x03))
u(ubx(1, 0x21, time_utc(2016, 12, 31, 12, 0, 0)), utc="2016-12-31T12:00:00.000Z")
u(HUI, leapSecondPending=1, **{"text~": ["-->> LS Pending = 1, NTP Leap Indicator = 1"]})
u(ubx(1, 0x21, time_utc(2016, 12, 1, 12, 0, 0)))
u(HUI, **{"text~": ["-->> LS Pending = 1, NTP Leap Indicator = 0"]})   # announced, not yet for NTP
u(ubx(0x0B, 0x02, hui(17, 1929 % 256, 7, 18, 0x01)))                   # parameters not valid
u(ubx(1, 0x21, time_utc(2017, 1, 2, 0, 0, 0)))
u(HUI, leapSecondPending=0)
u(ubx(1, 0x30, le("IBBH", 9, 4, 0, 0) + sv_block(0, 21, 0x0D, 6, 33, 73, 276) + sv_block(1, 6, 0x0C, 1, 0, 21, 311)
      + sv_block(2, 135, 0x11, 4, 40, -5, 359) + sv_block(255, 3, 0x04, 1, 0, 10, 317)),
  visible=4, tracked=2, used=2, sats=sats((3, 10, 317, 0), (6, 21, 311, 0), (21, 73, 276, 33), (135, -5, 359, 40)))

# --- NMEA --------------------------------------------------------------------------------

n = capture("nmea-sentences", "generic-nmea", None, "NMEA 0183 sentences at their edges; RMC first, as ZDA takes the time over")
for date, iso in [("010199", "1999-01-01"), ("010100", "2000-01-01"), ("311279", "2079-12-31"), ("060180", "1980-01-06"),
                  ("080405", "2005-04-08")]:
    n(nmea("GPRMC,171244.00,A,5209.7838,N,02048.4818,E,0.6,71.0,%s,3.5,E" % date), utc=iso + "T17:12:44.000Z")
for time, iso in [("101012.49", "10:10:12.000"), ("101012.50", "10:10:13.000"), ("105959.6", "11:00:00.000"),
                  ("235960", "23:59:59.999")]:
    n(nmea("GPRMC,%s,A,3238.9148,N,10822.4466,W,005.3,247.1,181022,009.3,E" % time), utc="2022-10-18T%sZ" % iso)
n(nmea("GPRMC,235959.7,A,3238.9148,N,10822.4466,W,005.3,247.1,181022,009.3,E"), utc="2022-10-19T00:00:00.000Z")
ILLEGAL = "WARNING: Illegal date or time decoding GPZDA."
for body in ["GPRMC,240000,A,,,,,,,181022,,", "GPRMC,126000,A,,,,,,,181022,,", "GPRMC,120000,A,,,,,,,321022,,",
             "GPRMC,120000,A,,,,,,,011322,,", "GPRMC,120000,A,,,,,,,300222,,", "GPRMC,120000,A,,,,,,,1810,,",
             "GPRMC,120000,V,,,,,,,,,", "GPRMC,,V,,,,,,,181022,,", "GPRMC,,V,,,,,,,,,,N", "GPRMC,120000,A"]:
    n(nmea(body), warning=ILLEGAL)
for body, iso in [("GPZDA,171245.00,08,04,2005,00,00", "2005-04-08T17:12:45.000Z"),
                  ("GPZDA,000001.25,01,01,2000,,", "2000-01-01T00:00:01.250Z"),
                  ("GPZDA,235959,31,12,1999,,", "1999-12-31T23:59:59.000Z"),
                  ("GPZDA,235959.9996,31,12,2023,,", "2024-01-01T00:00:00.000Z"),
                  ("GPZDA,120000.00,01,03,1900,,", "1900-03-01T12:00:00.000Z"),
                  ("GPZDA,235960.00,31,12,2016,,", "2016-12-31T23:59:59.999Z")]:
    n(nmea(body), utc=iso)
for body in ["GPZDA,120000.00,00,04,2005,00,00", "GPZDA,120000.00,32,04,2005,00,00", "GPZDA,120000.00,08,13,2005,00,00",
             "GPZDA,120000.00,08,04,1899,00,00", "GPZDA,240000.00,08,04,2005,00,00", "GPZDA,126000.00,08,04,2005,00,00",
             "GPZDA,120000.00,31,02,2005,00,00", "GPZDA,120000.00,xx,04,2005,00,00", "GPZDA,,,,,,",
             "GPZDA,,08,04,2005,00,00", "GPZDA,120000.00,08", "GPZDA,1200,08,04,2005,00,00"]:
    n(nmea(body), warning=ILLEGAL)
for body, dgps in [("GPGGA,113258,3238.9148,N,10822.4466,W,2,08,1.1,1577.4,M,-24.6,M,,", "Receiving DGPS"),
                   ("GPGGA,113258,3238.9148,N,10822.4466,W,2,08,1.1,1577.4,M,-24.6,M,3.2,17",
                    "Receiving DGPS, Age  3.2 sec, Station ID \"0017\"")]:
    n(nmea(body), dgps=dgps)
for body, line in [
        ("GPGGA,171245.00,5209.7838,N,02048.4819,E,1,03,5.3,76.6,M,36.5,M,,", "17,12,45.00,52,9.783800,N,20,48.481900,E,1,03,5.3,76.6,M,36.5,M,,"),
        ("GPGGA,113258,3238.9148,N,10822.4466,W,1,08,1.1,1577.4,M,-24.6,M,,", "11,32,58.00,32,38.914800,N,108,22.446600,W,1,08,1.1,1577.4,M,-24.6,M,,"),
        ("GPGGA,000009.5,0001.0000,S,00000.5000,E,2,4,2.26,-3.0,M,0.0,M,12,7", "00,00,09.50,00,1.000000,S,00,0.500000,E,2,04,2.3,-3.0,M,0.0,M,12.0,0007"),
        ("GPGGA,,,,,,,,,,,,,,", "00,00,00.00,00,0.000000,N,00,0.000000,E,0,00,0.0,0.0,,0.0,,,")]:
    n(nmea(body), logLine=line)
n(nmea("GPGGA,113258,3238.9148,S,10822.4466,W,1,08,1.1,1577.4,M,-24.6,M,,"), used=8,
  lat=-(32 + 38.9148 / 60.0), lon=-(108 + 22.4466 / 60.0), altEllipsoid=1577.4 - 24.6, altMsl=1577.4)
n(nmea("GPGGA,120000,4500.0000,N,00700.0000,E,1,05,1.2,328.1,F,65.6,F,,"), altMsl=328.1,
  warning="NMEA fGeoid_separation not in Meters")
for word, antenna in (("GPTXT,01,01,00,ANTSTATUS=SHORT", 1), ("GPTXT,01,01,00,ANTSTATUS=OK", 0),
                      ("GPTXT,01,01,00,ANTSTATUS=OPEN", 2), ("GPTXT,01,01,00,ANTSTATUS=XYZ", -1),
                      ("GPTXT,01,01,00,ANTSTATUS=OK", 0), ("GPTXT,01,01,00,ANTSTATUS=", -1),
                      ("GNTXT,01,01,02,ANTSTATUS=OK", 0), ("GNTXT,01,01,02,ANTSTATUS=INIT OPEN", -1)):
    n(nmea(word), antenna=antenna)
n(nmea("PGRMT,GPS 15x-W software ver. 4.20,P,P,R,R,P,C,31,R"), text=
  "ROM checksum test (P=pass, F=fail) = P\nReceiver failure? (P=pass, F=fail) = P\nStored Data (L=lost, R=retained) = R\n"
  "Real time clock (L=lost, R=retained) = R\nOscillator drift (P=pass, F=fail) = P\nData collection (C = collecting) = C\n"
  "Board temperature (degrees C) = 31\n")
n(nmea("PGRMI,5209.784,N,02048.482,E,080405,171245,A"), text=
  "$PRGMI Initialization Message:\n  Latitude = 52 deg  09.784 min N\n  Longitude = 020 deg  48.482 min E\n"
  "  Day = 08, Month = 04, Year = 05\n  Hour = 17, Minute = 12, Second = 45\n  Acq Reset = A\n")
n(nmea("PGRMI,3238.915,S,10822.447,W,,,R"), text=
  "$PRGMI Initialization Message:\n  Latitude = 32 deg  38.915 min S\n  Longitude = 108 deg  22.447 min W\n"
  "  Day = 00, Month = 00, Year = 00\n  Hour = 00, Minute = 00, Second = 00\n  Acq Reset = R\n")
n(nmea("PGRMC,A,218.8,100,6378137.000,298.257223563,0.0,0.0,0.0,A,3,1,1,4,30"), text=
  "$PGRMC Configuration Message:\n  Fix Mode = A\n  Altitude (MSL) = 218.8 meters\n  Earth Datum Index = 100\n"
  "  Semi-major axis = 6378137.000 meters\n  Inverse Flattening factor = 298.257223563\n  Delta-X = 0.0\n"
  "  Delta-Y = 0.0\n  Delta-Z = 0.0\n  Differential Mode = A\n  Baud Rate = 3\n  Velocity Filter = 1\n  Null field = 1\n")
n(nmea("PGRMO,GPGGA,1"), text="$PGRMO: Target Sentence = GPGGA,   Mode = 1")
n(nmea("PGRMO,,2"), text="$PGRMO: Target Sentence = NONE,   Mode = 2")
for body, status, fix, dops in [
        ("GPGSA,A,3,02,05,11,12,18,20,25,29,,,,,1.4,1.1,0.9", "3-D Fix (A)", 3, (1.4, 1.1, 0.9)),
        ("GPGSA,M,3,01,,,,,,,,,,,,12.24,10.0,99.95", "3-D Fix (M)", 3, (12.24, 10.0, 99.95)),
        ("GPGSA,M,2,,,,,,,,,,,,,2.0,1.0,1.7", "2-D Fix (M)", 2, (2.0, 1.0, 1.7)),
        ("GPGSA,A", "No Fix", 0, (-1, -1, -1))]:   # no DOP fields: unknown
    n(nmea(body), status=status, fix=fix, dops=dict(zip("phv", dops)))
# A set of three GSV sentences: empty signal fields, three empty groups in the last one.
n(nmea("GPGSV,3,1,09,02,33,299,27,04,43,242,26,08,12,202,,13,85,356,"))
n(nmea("GPGSV,3,2,09,16,22,059,,20,21,131,,23,54,074,,24,23,195,"))
n(nmea("GPGSV,3,3,09,27,39,195,15,,,,,,,,,,,,"), visible=9, sats=[
    {"id": i, "el": e, "az": a, "cno": c} for i, e, a, c in
    ((2, 33, 299, 27), (4, 43, 242, 26), (8, 12, 202, 0), (13, 85, 356, 0), (16, 22, 59, 0), (20, 21, 131, 0),
     (23, 54, 74, 0), (24, 23, 195, 0), (27, 39, 195, 15))])

n = capture("nmea-gsv-sets", "generic-nmea", None, "a satellite missing from the next set of its system is cleared")
n(nmea("GPGSV,1,1,02,07,45,123,40,30,05,355,"), visible=2, sats=sats((7, 45, 123, 40), (30, 5, 355, 0)))
n(nmea("GPGSV,2,1,05,01,10,100,30,02,20,200,31,03,30,300,32,04,40,040,33"))
n(nmea("GPGSV,2,2,05,05,50,050,34"), sats=sats((1, 10, 100, 30), (2, 20, 200, 31), (3, 30, 300, 32), (4, 40, 40, 33),
                                               (5, 50, 50, 34)))
n(nmea("GPGSV,1,1,03,01,11,100,30,03,31,300,32,05,51,050,34"), visible=3,
  sats=sats((1, 11, 100, 30), (3, 31, 300, 32), (5, 51, 50, 34)))
# GLONASS sets do not clear GPS satellites, and clear their own.
n(nmea("GLGSV,1,1,01,70,20,100,30"), sats=sats((1, 11, 100, 30), (3, 31, 300, 32), (5, 51, 50, 34), (70, 20, 100, 30)))
n(nmea("GLGSV,1,1,00"), sats=sats((1, 11, 100, 30), (3, 31, 300, 32), (5, 51, 50, 34)))

n = capture("nmea-zda-rmc", "motorola-nmea", None, "RMC carries the time only when ZDA has stopped")
n(nmea("GPZDA,120000.00,01,06,2010,,"), utc="2010-06-01T12:00:00.000Z")
n(nmea("GPRMC,120001,A,,,,,,,010610,,"))
n(nmea("GPZDA,120001.00,01,06,2010,,"), utc="2010-06-01T12:00:01.000Z")
n(nmea("GPRMC,120002,A,,,,,,,010610,,"))
n(nmea("GPRMC,120003,A,,,,,,,010610,,"))
n(nmea("GPRMC,120004,A,,,,,,,010610,,"))
n(nmea("GPRMC,120005,A,,,,,,,010610,,"), utc="2010-06-01T12:00:05.000Z")   # the fourth RMC since the last ZDA

n = capture("nmea-oncore", "motorola-nmea", None, "an Oncore in NMEA mode leaves PDOP and VDOP empty")
n(nmea("GPGSA,A,2,02,04,27,,,,,,,,,,,5.3,"), status="2-D Fix (A)", fix=2, dops={"p": -1, "h": 5.3, "v": -1})   # empty DOP fields are unknown

n = capture("ublox-nmea-talkers", "ublox-nmea", None, "satellite numbers of every talker in the one table")
for talker, sent, table in [("GP", 1, 1), ("GP", 33, 120), ("GP", 65, 65), ("GP", 133, 133), ("GP", 301, 211),
                            ("GN", 401, 159), ("GL", 1, 65), ("GL", 255, 255), ("GA", 1, 211), ("BD", 5, 163),
                            ("BD", 6, 33), ("GB", 37, 64), ("GQ", 1, 193)]:
    n(nmea("%sGSV,1,1,01,%d,40,100,35" % (talker, sent)), **{"table-id": table})
n(nmea("GNGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99,1"), fix=1)
n = capture("ublox-nmea-gn", "ublox-nmea", None, "the GN talker, and every talker's satellites in one count")
# GPS G07 and Galileo E07 side by side; visible counts every talker.
n(nmea("GPGSV,1,1,02,07,45,123,40,30,05,355,"))
n(nmea("GLGSV,1,1,01,70,20,100,30"))
n(nmea("GAGSV,1,1,01,07,20,100,30"), visible=4, sats=sats((7, 45, 123, 40), (30, 5, 355, 0), (70, 20, 100, 30), (217, 20, 100, 30)))
# The GN talker is decoded as GP is; a talker that is no satellite system is not.
n(nmea("GNZDA,082710.00,16,09,2021,00,00"), utc="2021-09-16T08:27:10.000Z")
n(nmea("GNGGA,082710.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"), altMsl=499.6, altEllipsoid=547.6)
n(nmea("GNGSA,A,3,23,29,07,08,09,18,26,,,,,,1.94,1.18,1.54,1"), fix=3)
n(nmea("XXGGA,082712.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"))


# --- Writing and checking ----------------------------------------------------------------

def write():
    for name, (header, frames) in CAPTURES.items():
        with open(os.path.join(HERE, name + ".log"), "wb") as f:
            f.write(("\n".join(header) + "\n").encode())
            f.write(b"".join(frame for frame, _ in frames))


def matches(line, expect):
    for key, want in expect.items():
        if key == "table-id":   # the satellite stands in the table under this number
            if not any(s.get("id") == want and s.get("cno") == 35 for s in line.get("sats", [])):
                return False
        elif key == "text~":   # pieces of a long text
            if not all(piece in line.get("text", "") for piece in want):
                return False
        elif key not in line or (line[key] != want and not (isinstance(want, float) and abs(line[key] - want) < 1e-9)):
            return False
    return True


def check(decoder):
    failures = 0
    for name, (header, frames) in CAPTURES.items():
        args = [decoder]
        for h in header:
            if h.startswith("# mode: "):
                args += ["--mode", h[8:]]
            elif h.startswith("# model: "):
                args += ["--model", h[9:]]
        out = subprocess.run(args + [os.path.join(HERE, name + ".log")], capture_output=True, check=True).stdout
        lines = [json.loads(l) for l in out.decode().splitlines() if l]
        for frame, expect in frames:
            if expect and not any(matches(l, expect) for l in lines):
                failures += 1
                print("%s: no output line has %s" % (name, json.dumps(expect)))
    print("%d expectations failed" % failures)
    return failures == 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        sys.exit(0 if check(sys.argv[2]) else 1)
    write()
