#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are the inputs the test suite itself reads (S-record, Intel HEX and binary
images, the shipped device database, settings files, run log lines, bench files) in a few
small, well-formed variants: the fuzzer starts from what the readers accept and mutates it.
Run it again after changing a seed here; the files are tracked.
"""
import hashlib
import json
import os
import shutil
import struct
import sys

ROOT = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(ROOT, "corpus")
RES = os.path.join(ROOT, "..", "..", "res")


def srec(kind, address, data):
    width = {"1": 2, "2": 3, "3": 4, "5": 2, "7": 4, "8": 3, "9": 2, "0": 2}[kind]
    body = address.to_bytes(width, "big") + bytes(data)
    count = len(body) + 1
    checksum = (~(count + sum(body))) & 0xFF
    return "S%s%02X%s%02X" % (kind, count, body.hex().upper(), checksum)


def ihex(kind, address, data):
    body = bytes([len(data)]) + address.to_bytes(2, "big") + bytes([kind]) + bytes(data)
    return ":%s%02X" % (body.hex().upper(), (-sum(body)) & 0xFF)


def ramp(n, start=0):
    return [(start + i) & 0xFF for i in range(n)]


def write(target, name, content):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(content, str):
        content = content.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content)


def main():
    shutil.rmtree(CORPUS, ignore_errors=True)
    head = srec("0", 0, b"HDR")
    s9 = srec("9", 0, [])
    crlf = lambda lines: "\r\n".join(lines) + "\r\n"

    write("srecord", "s2_two_pages.mot", crlf([head, srec("2", 0x1200, ramp(16)), srec("2", 0x12F0, ramp(32)), s9]))
    write("srecord", "s1_s2_s3.mot", crlf([head, srec("2", 0x1200, ramp(4)), srec("1", 0x1204, ramp(8)),
                                           srec("3", 0x1300, ramp(8)), srec("7", 0, [])]))
    write("srecord", "lf_lower_case.mot", "\n".join([head, srec("2", 0x1200, [0x0A, 0xBC, 0xDE]).lower(), s9]) + "\n")
    write("srecord", "highest_page.mot", crlf([head, srec("2", 0xFFFFF0, ramp(16)), s9]))
    write("srecord", "out_of_order.mot", crlf([head, srec("2", 0x1310, ramp(8)), srec("2", 0x1210, ramp(8)),
                                               srec("5", 2, []), s9]))
    write("srecord", "bad_checksum.mot", crlf([head, "S2080012000102030400", s9]))

    write("intelhex", "data_eof.hex", crlf([ihex(0, 0x1200, ramp(16)), ihex(0, 0x1210, ramp(16, 16)), ihex(1, 0, [])]))
    write("intelhex", "linear_address.hex", crlf([ihex(4, 0, [0x00, 0x0F]), ihex(0, 0xFF00, ramp(32)),
                                                  ihex(5, 0, [0, 0, 0x12, 0]), ihex(1, 0, [])]))
    write("intelhex", "segment_address.hex", crlf([ihex(2, 0, [0x10, 0x00]), ihex(0, 0x0100, ramp(8)), ihex(1, 0, [])]))
    write("intelhex", "bad_checksum.hex", crlf([":0412000001020304E0", ihex(1, 0, [])]))

    write("binary", "at_1200.txt", b"1200\n" + bytes(ramp(300)))
    write("binary", "hex_prefix.txt", b"0x0FFF00\n" + bytes(ramp(256, 7)))
    write("binary", "top_of_space.txt", b"FFFFF0\n" + bytes(ramp(32)))

    with open(os.path.join(RES, "MCUType.mcu"), "rb") as f:
        database = f.read()
    write("device_database", "MCUType.mcu", database)
    products = [line for line in database.splitlines(True) if line.startswith(b":")]
    write("device_database", "two_products_lf.mcu", b"".join(products[:2]).replace(b"\r\n", b"\n"))

    write("settings_file", "full.ini", "[Log information]\r\nAuto save log=1\r\nAuto save ID=0\r\n"
          "[Programmer information]\r\nProduct number=ZK40F8C12\r\nID code=C3C3C3C3C3C3C3\r\nPower set=50\r\n"
          "[Main window]\r\nRun key=F9\r\nOperator mode=1\r\n[Run log]\r\nSave run log=0\r\n")
    write("settings_file", "odd_spacing.ini", "\xEF\xBB\xBF; comment\r\n[ LOG INFORMATION ]\r\n  auto SAVE log  =   1  \r\nk=a=b")
    write("settings_file", "cr_only.ini", "[A]\rk=v\r[Programmer information]\rPower set=33\r")

    records = [
        {"time": "2026-12-10T22:15:03.250+01:00", "station": "line-3", "operation": "gang", "sn": "02",
         "port": "/dev/ttyUSB1", "usbPath": "1-1.2", "usbSerial": "ZK0042", "product": "ZK40G16B",
         "file": "motor_ctl", "stamp": "24-04-02,16:14:55", "sha256": "", "result": "failed", "code": 64,
         "text": "Break during ID check!", "durationMs": 10873, "version": "1.0"},
        {"time": "2026-12-10T22:17:41.802+01:00", "station": "line-3", "operation": "load", "sn": "01",
         "port": "", "usbPath": "", "usbSerial": "", "product": "ZK40F8C12", "file": "app.mot",
         "stamp": "26-12-10,22:01:09", "sha256": hashlib.sha256(b"app").hexdigest(), "result": "ok",
         "code": None, "text": "Selected file is loaded to the programmer.", "durationMs": 5120, "version": "1.0"},
    ]
    for i, record in enumerate(records):
        write("run_log", "record%d.jsonl" % i, json.dumps(record, separators=(",", ":")) + "\n")
    write("run_log", "latin1_file.jsonl", json.dumps(dict(records[0], file="caf\u00e9", text="\u00b5s"),
                                                     separators=(",", ":"), ensure_ascii=False) + "\n")

    def load_record(pages, base=None):
        content = b"".join(struct.pack("<H", page) + (bytes(ramp(256, page)).hex().upper()).encode() for page in pages)
        descriptor = b"240314093012" + struct.pack("<IH", 4096, len(pages))
        trailer = (b"BIN@" + struct.pack("<I", base) if base is not None else b"") + b"SHA2" + hashlib.sha256(content).digest()
        return descriptor + content + trailer
    write("load_record", "two_pages.tbx", load_record([0x12, 0x13]))
    write("load_record", "binary_base.tbx", load_record([0x40], base=0x4000))
    write("load_record", "no_digest.tbx", load_record([0x12])[:-36])

    bench_dir = os.path.join(CORPUS, "bench_file")
    os.makedirs(bench_dir, exist_ok=True)
    with open(os.path.join(ROOT, "..", "..", "docs", "bench-file.md"), encoding="utf-8") as f:
        blocks = f.read().split("```json\n")[1:]
    for i, block in enumerate(blocks):
        write("bench_file", "doc%d.json" % i, block.split("```")[0])

    # The programmer's answers: the operation byte, then status lines (0x10: idle, the last
    # command ended well) and whole answers (a control byte 0x00, then the bytes).
    ok_status = [0x10] * 4
    for op in range(10):
        write("protocol", "op%d_quiet.bin" % op, bytes([op] + ok_status * 4 + [0x00] * 4))
    write("protocol", "op0_info.bin", bytes([0, 0x30, 0x30, 0x10, 0x10, 0x00] + ramp(89)))
    write("protocol", "op3_page.bin", bytes([3, 0x12, 0x00] + [0x00, 0x10, 0x10, 0x00, 0xAB, 0xCD, 0x00] + ramp(256)))
    write("boot_loader", "ready.bin", bytes([0x20, 0x20, 0x20, 0x00, 0x80, 0x0C, 0x00, 0x80, 0x0C] + [0x00, 0x80, 0x80] * 8))
    write("hex", "byte.txt", "0F")
    write("hex", "id_code.txt", "C3C3C3C3C3C3C3")
    write("hex", "spaces_mixed_case.txt", "  1a2B")
    write("hex", "not_hex.txt", "12G4")
    return 0


if __name__ == "__main__":
    sys.exit(main())
