#!/usr/bin/env python3
"""Records dispenser-sim's replies to the tool's requests and writes them as
seed inputs of the link's fuzz targets (fuzz/corpus/fuzz_trk_exchange and
fuzz/corpus/fuzz_status).

    fuzz/record_replies.py build/dispenser-sim fuzz/corpus
"""
import os
import select
import subprocess
import sys
import time
import tty


def checksum(data):
    running = 0xFF
    for b in data:
        x = (running ^ b) & 0xFF
        running = ((x << 1) | (x >> 7)) & 0xFF
    return running


def select_frame(address, function):
    head = bytes([0x60, address, function])
    return head + bytes([checksum(head)])


def header(kind, address, first, count):
    h = bytes([kind, 0, (address >> 8) & 0xFF, (address >> 16) & 0xFF, address & 0xFF, first, count])
    return h + bytes([checksum(h)])


def bcd(value, digits):
    text = "%0*d" % (digits, value)
    return bytes(int(text[i]) << 4 | int(text[i + 1]) for i in range(0, digits, 2))


class Sim:
    def __init__(self, program, args):
        self.proc = subprocess.Popen([program, "--pty"] + args, stdout=subprocess.PIPE)
        path = self.proc.stdout.readline().decode().strip()
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def exchange(self, *frames, expect, pause=0.0, quiet=0.3):
        """Sends the frames (pausing between them) and returns the reply."""
        for i, frame in enumerate(frames):
            if i and pause:
                time.sleep(pause)
            os.write(self.fd, frame)
        reply = b""
        deadline = time.monotonic() + 3
        while len(reply) < expect and time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], quiet)
            if not ready:
                break
            reply += os.read(self.fd, 512)
        return reply

    def close(self):
        os.close(self.fd)
        self.proc.terminate()
        self.proc.wait()


def read(sim, address, bank, count):
    return sim.exchange(select_frame(1, 0x48 + bank) + header(0, address, 0, count), expect=count + 1)


def write(sim, address, bank, data):
    request = select_frame(1, 0x40 + bank) + header(1, address, data[0], len(data))
    if len(data) == 1:
        return sim.exchange(request, expect=2)
    body = data[1:] + bytes([checksum(data[1:])])
    return sim.exchange(request, body, expect=1, pause=0.06)


def command(sim, nozzle, function, value, modifier=0):
    body = bytes([nozzle, function, modifier]) + bcd(value // 10, 8)
    return sim.exchange(select_frame(1, 0x10 + nozzle) + body + bytes([checksum(body)]), expect=1)


def status(sim, nozzle):
    function = 0x8F if nozzle == 255 else 0x80 + nozzle
    return sim.exchange(select_frame(1, function), expect=32 if nozzle == 255 else 8, quiet=0.1)


def error_record(sim):
    return sim.exchange(select_frame(1, 0xF0), expect=16)


def exchange_seed(op, param, reply, flags=0x7C):
    """One exchange of fuzz_trk_exchange; flags 0x7C: the reply in one chunk."""
    return bytes([op, param, flags, len(reply)]) + reply


def main():
    program, corpus = sys.argv[1], sys.argv[2]
    trk = os.path.join(corpus, "fuzz_trk_exchange")
    stat = os.path.join(corpus, "fuzz_status")
    os.makedirs(trk, exist_ok=True)
    os.makedirs(stat, exist_ok=True)
    seeds = {}

    sim = Sim(program, ["--variant", "1", "--nozzles", "4", "--rate", "5000"])
    length = read(sim, 0x3100, 0, 1)
    settings = read(sim, 0x3101, 0, length[0])
    record = read(sim, 0x1000, 0, 19)
    seeds["read_status_byte"] = exchange_seed(0, 1, read(sim, 0x24, 2, 1))
    seeds["read_settings_length"] = exchange_seed(0, 1, length)
    seeds["read_settings"] = exchange_seed(0, length[0], settings)
    seeds["read_calibration_record"] = exchange_seed(0, 19, record)
    seeds["read_common_block"] = exchange_seed(0, 6, read(sim, 0x4000, 0, 6))
    seeds["read_password_state"] = exchange_seed(0, 16, read(sim, 0x5300, 0, 16))
    seeds["read_split_in_bytes"] = exchange_seed(0, 19, record, flags=0x00)
    seeds["write_record"] = exchange_seed(1, 19, write(sim, 0x1000, 0, record[:19]), flags=0xFC)
    seeds["write_commit"] = exchange_seed(1, 1, write(sim, 0x88FFFF, 0, bytes([0x55])))
    seeds["error_record"] = exchange_seed(3, 0, error_record(sim))
    # A fill: preset of 10 l on nozzle 1, then its status as it runs.
    fill = command(sim, 1, 0x01, 10000, modifier=1)
    seeds["nozzle_command_accepted"] = exchange_seed(2, 0x01, fill)
    replies = []
    for _ in range(6):
        time.sleep(0.15)
        replies.append(status(sim, 1))
    all_nozzles = status(sim, 255)
    seeds["status_running"] = exchange_seed(4, 0, replies[-1])
    seeds["status_all_nozzles"] = exchange_seed(4, 0x80, all_nozzles)
    command(sim, 1, 0x0F, 0)
    sim.close()

    # Key off: a write is refused and the error record says why.
    sim = Sim(program, ["--variant", "1", "--nozzles", "4", "--key", "off"])
    refused = write(sim, 0x1000, 0, bytes(19))
    why = error_record(sim)
    seeds["write_refused"] = exchange_seed(1, 19, refused, flags=0xFC)
    # The same refusal to a preset: 0xFF, then the error record it fetches,
    # byte by byte so the record comes after the link has asked for it.
    seeds["nozzle_command_refused"] = exchange_seed(2, 0x01, refused + why, flags=0x00)
    sim.close()

    for name, data in seeds.items():
        with open(os.path.join(trk, name), "wb") as f:
            f.write(data)
    # A whole Read in one input: the exchanges one after another.
    with open(os.path.join(trk, "read_procedure"), "wb") as f:
        for name in ("read_status_byte", "read_settings_length", "read_settings",
                     "read_common_block", "read_calibration_record", "read_password_state"):
            f.write(seeds[name])

    # fuzz_status: the main window's link (4 nozzles, one side, type 18,
    # address 1, codes 1..14), then the polls of a running fill.
    config = bytes([4, 1, 0, 1, 1]) + bytes(range(1, 15)) + bytes([0])
    with open(os.path.join(stat, "fill_running"), "wb") as f:
        f.write(config)
        for reply in replies:
            f.write(bytes([0, len(reply)]) + reply)
    with open(os.path.join(stat, "all_nozzles"), "wb") as f:
        f.write(config + bytes([0x80, len(all_nozzles)]) + all_nozzles)


if __name__ == "__main__":
    main()
