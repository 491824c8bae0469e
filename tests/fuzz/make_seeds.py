#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) from the inputs the
unit tests use. Run it again after changing a seed; the files are kept in the repository."""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
ENQ, ACK, NAK, STX, EOT, ETB, SUB = 0x05, 0x06, 0x15, 0x02, 0x04, 0x17, 0x1A


def record(letter, data):
    n = len(data)
    comp = 0xFFFF - n
    return bytes([STX, ord(letter), n >> 8, n & 0xFF, comp >> 8, comp & 0xFF]) + data + bytes(
        [(~sum(data)) & 0xFF])


def exchange(letter, data):
    """One serial request as the controller plays it: ENQ, the record, EOT after the terminal's
    ACK, then ACK to the terminal's ENQ and ACK to its reply record."""
    return bytes([ENQ]) + record(letter, data) + bytes([EOT, ACK, ACK])


def write_request(block, compressed=False):
    n = len(block)
    return bytes([0x08 if compressed else 0, 0x11, 0x22, 0x33, 0, 0, n >> 8, n & 0xFF]) + block


def lzss(text):
    """The reference coder's output for the texts used here: literals only, flag 0xFF."""
    out = bytearray()
    for i in range(0, len(text), 8):
        group = text[i:i + 8]
        out.append((1 << len(group)) - 1)
        out += group
    return bytes(out)


PROGRAM = b".PROGRAM a()\r\n  HOME\r\n  SPEED 50\r\n.END\r\n"

SEEDS = {
    "transfer_serial": {
        "save": exchange("B", b"z.as") + exchange("D", write_request(PROGRAM)) + exchange("E", bytes(4)),
        "save_compressed": exchange("B", b"z.as") + exchange("D", write_request(b"\x01a\xee\xfe", True)) +
                           exchange("D", write_request(lzss(PROGRAM), True)) + exchange("E", bytes(4)),
        "load": exchange("A", b"a.as") + exchange("C", bytes(4)) + exchange("C", bytes(4)) +
                exchange("E", bytes(4)),
        "load_compressed": exchange("A", b"a.as") + exchange("C", bytes([8, 0, 0, 0])) * 3 +
                           exchange("E", bytes(4)),
        "delete_first": exchange("F", b"x"),
        "resend": bytes([ENQ]) + record("F", b"abc")[:-1] + b"\x00" + record("F", b"x") + bytes([EOT, ACK, ACK]),
        "long_name": exchange("B", b"abcdefghijkl.as") + exchange("E", bytes(4)),
        "nak_reply": bytes([ENQ]) + record("E", bytes(4)) + bytes([EOT, ACK, NAK, NAK]),
        # Found by fuzzing: "." named the transfer folder itself, which B tried to back up.
        "backup_dot": exchange("B", b"."),
    },
    "transfer_tcp": {
        "save": b"\x00" + b"\x05\x02Bz.as\x17\x05\x02D" + PROGRAM + b"\x17\x05\x02E\x17",
        "save_split": b"\xff" + b"\x05\x02Bsplit.as\x17\x05\x02D" + PROGRAM * 40 + b"\x17\x05\x02E\x17",
        "load": b"\x10" + b"\x05\x02Aa.as\x17\x05\x02C\x17\x05\x02C\x17\x05\x02C\x17\x05\x02E\x17",
        "delete_first": b"\x00\x05\x02Fx\x17",
        "cut_short": b"\x00\x05\x1a\x05\x02B\x1a",
        "backup_dot": b"\x00\x05\x02B.\x17",
    },
    "interpreter": {
        "serial": b"\x00\x32\x19\x80" + b"login: \r\n>\x1b[2J\x1b[H\x1b[10;20Habc\x1b[K\r\n\x82\xa0\x81\b\x07\x05",
        "tcp_plain": b"\x01\xc8\x05\x10" + b"\xff\xfd\x18\xff\xfa\x18\x01\xff\xf0\xff\xfb\x01login: >\r\n" * 3,
        "tcp_extended": b"\x87\x32\x19\xff" + b"\xff\xfd\x1f\xff\xfb\x03\x1b[999;999H\x1b[-7A\x1b[99C\x05xyz",
        "wrap": b"\x00\x01\x01\x00" + bytes(range(0x20, 0x7f)) * 4 + b"\x81\x40" * 50,
    },
    "lzss": {
        "decode_a18": b"\x00\x07" + b"\x01\x61\xee\xfe",
        "decode_long": b"\x00\x20" + (b"\x00" + b"\xee\xff" * 8) * 40,
        "roundtrip": b"\x01\x05" + PROGRAM * 20,
        "roundtrip_a": b"\x01\x09" + b"a" * 4000,
    },
    "ini": {
        "settings": b"[Settings]\r\nLanguage=0\r\nIPAddress=10.0.0.5 extra\r\nTelnetPort=2323\r\n"
                    b"LoginPrompt=' user: '\r\n[Term]\r\nMaxRows=50\r\n",
        "dupes": b"[a]\nk=1\n[A]\nK=2\n; comment\n  [b] \n x = \"quoted\" \n",
    },
    "settings": {
        "full": b"[Settings]\r\nLanguage=1\r\nIPAddress=192.168.0.2\r\nTelnetPort=23\r\nIsLinuxTelnet=1\r\n"
                b"Port=COM3\r\nTimeoutSec=30\r\nIsAutoLogin=1\r\nIsAutoConnect=1\r\n"
                b"[Term]\r\nMaxRows=300\r\nBgColor=16777215\r\nTxtColor=0\r\n"
                b"[Font]\r\nHeight=-16\r\nFaceName=Fixedsys\r\n"
                b"[Connections]\r\nTotal=2\r\n[Connection0]\r\nIsTcp=0\r\nOrder=0\r\nItem=COM1:9600:8:2:none\r\n"
                b"[Connection1]\r\nIsTcp=1\r\nOrder=999\r\nItem=10.0.0.1:23:Robot1\r\n",
        "odd": b"[Connections]\r\nTotal=2\r\n[Connection0]\r\nItem=COM1:9600:8:2:none\r\nStopBits=258\r\n"
               b"DataBits=-248\r\nBaud=96oo\r\n[Connection1]\r\nIsTcp=1\r\nOrder=999\r\n[Term]\r\nMaxRows=-5\r\n",
    },
    "macro": {
        "wait": b"wait '>'\nend\n\x00\x01>",
        "timeout": b"timeout=5\nwait 'first'\nwait 'second'\nend\n\x00first second",
        "errorcheck": b"errorcheck 'ERR'\ntimeout=10\nwait 'A'\nwait 'B'\nend\n\x00ERR",
        "heredoc": b"sendln << EOF\nSAVE A\n;Semi\nit's\nEOF\nsendln 'after'\n",
        "input": b"keyinput 'Value?'\nsendln 'x=$inputstr'\nsleep=1\nsendrepeat 'x'\nend\n",
        "log": b"openlog 'log.txt'\nsendln 'save prog.as'\nsendfile 'send.txt'\ncloselog\nbaudrate 9600\nend\n",
        "boxes": b"messagebox 'hi'\nmessagecancel 'Go on?'\nerrormessagebox 'x'\nkeydisable\nkeyenable\ncontinue\n",
    },
    "command_line": {
        "serial": b"-C=COM1:9600:8:2:none\n-N\x00COM3:19200:7:1:even\x00"
                  b"[Connections]\r\nTotal=1\r\n[Connection0]\r\nIsTcp=0\r\nOrder=0\r\nItem=COM1:9600:8:2:none\r\n",
        "tcp": b"-C=192.168.0.2:23:Robot1\n-F\n/home/op/a, b.ini\n-DF\x00192.168.0.2:23:Robot1\x00",
        "quoted": b"-F/home/op/my cfg,2.ini\n-N\n-C=COM2:38400:8:1:odd\x00COM2:38400:8:1.5:mark\x00",
    },
    "panel_ini": {
        "two_pages": b"[START_UP]\r\nSHOW=ON\r\nPAGE=2\r\n[BUTTON01]\r\nEnable=ON\r\nBtnName=Home\r\n"
                     b"Command01=sendln 'home'\r\nCommand02=wait '>'\r\n[BUTTON13]\r\nEnable=ON\r\n"
                     b"Command01=macro 'x.uas'\r\n\x00\x05\x0d\x00\x01\x15",
        "many": b"[START_UP]\r\nPAGE=20\r\n" + b"".join(
            b"[BUTTON%02d]\r\nEnable=ON\r\nCommand01=sendln 'b%d'\r\n" % (i, i) for i in range(1, 30)) + b"\x00" +
                bytes(range(0, 256, 3)),
    },
}


def main():
    root = os.path.join(HERE, "corpus")
    for target, seeds in SEEDS.items():
        folder = os.path.join(root, target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
