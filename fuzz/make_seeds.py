#!/usr/bin/env python3
"""Writes the hand-made seed inputs of each fuzz target into corpus/<target>/seed-*.

Inputs the fuzzer found that reach code the seeds do not (found-*, from a coverage merge) are kept
beside them; this script rewrites only its own seeds. Each target's input format is described at
the top of its source.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(bytes(data))


def certificate(size, seed=1):
    """A DER SEQUENCE of size bytes with filler content."""
    return b"\x30\x82" + struct.pack(">H", size - 4) + bytes((i * 7 + seed) & 0xFF for i in range(size - 4))


# --- update records --------------------------------------------------------------------------

def update_record_seeds():
    def record(slot, entry, enc, enc_present, sig_present, cert, declared=None):
        declared = len(cert) if declared is None else declared
        return bytes([slot, entry, enc, enc_present, sig_present]) + struct.pack(">H", declared) + cert
    cert = certificate(600, 5)
    write("update_record", "encryption-replaced", record(0, 1, 1, 1, 1, cert))
    write("update_record", "signature-removed", record(3, 3, 0, 1, 0, b""))
    write("update_record", "both-removed", record(2, 0, 1, 0, 0, cert[:10]))
    write("update_record", "largest", record(1, 2, 0, 1, 1, bytes(3000)))
    write("update_record", "too-long", record(1, 2, 0, 1, 1, bytes(3001)))
    write("update_record", "short", record(0, 0, 1, 1, 1, cert, declared=len(cert) + 1))
    write("update_record", "slot-out-of-range", record(4, 0, 1, 1, 1, cert))
    write("update_record", "header-only", record(0, 0, 1, 1, 1, b"")[:6])
    # Every combination of the kind and the two presence flags, on a short certificate.
    for kind, enc, sig in [(1, 1, 0), (1, 0, 1), (0, 1, 1), (0, 0, 1), (0, 0, 0), (2, 0, 0), (2, 1, 1)]:
        write("update_record", "kind%d-enc%d-sig%d" % (kind, enc, sig), record(0, 0, kind, enc, sig, b"NEW"))
    write("update_record", "slot-255", record(255, 0, 1, 1, 1, cert))
    write("update_record", "entry-4", record(0, 4, 1, 1, 1, cert))
    write("update_record", "empty", b"")
    write("update_record", "bytes-after-removal", record(1, 2, 0, 0, 0, b"") + b"\xaa")


# --- install paths ---------------------------------------------------------------------------

def install_paths_seeds():
    def parts(directory, name, path, tick):
        return directory + b"\0" + name + b"\0" + path + b"\0" + struct.pack("<I", tick)
    system = b"C:\\windows\\system32"
    write("install_paths", "keycmd", parts(system, b"KeyCmd.dll", system + b"\\KeyCmd.dll", 42))
    write("install_paths", "long-tick", parts(system, b"KeyDev.dll", b"KeyDev.dll", 4294967295))
    gbk = "C:\\程序\\客户端工具".encode("gbk")
    write("install_paths", "gbk", parts(gbk, "工具.exe".encode("gbk"), "证书工具.exe".encode("gbk"), 123456))
    write("install_paths", "at-limit", parts(b"C:\\" + b"d" * 250, b"ab.dll", b"x" * 254, 7))
    write("install_paths", "over-limit", parts(b"C:\\" + b"d" * 260, b"ab.dll", b"x" * 300, 7))
    write("install_paths", "short-name", parts(b"C:", b"a", b"abc", 99999))
    write("install_paths", "lone-lead-byte", parts(b"C:\\\x81", b"\xfe", b"abcde\x81", 5))
    # Set-aside names: digits of every length over the last four characters, GBK pairs counted whole,
    # the result at the buffer's limit and one past it.
    for name, path, tick in [("aside-1-digit", b"C:\\windows\\KeyCmd.dll", 7), ("aside-3-digits", b"C:\\windows\\KeyCmd.dll", 123),
                             ("aside-4-digits", b"C:\\windows\\KeyCmd.dll", 1234),
                             ("aside-manifest", b"C:\\windows\\KeyUninstall.exe.manifest", 123456789),
                             ("aside-gbk", "C:\\新钥匙文件".encode("gbk"), 12), ("aside-gbk-dir", "C:\\目录\\KeyCmd.dll".encode("gbk"), 99999),
                             ("aside-short", b"ab", 5), ("aside-fits-259", b"y" * 251 + b".dll", 1234),
                             ("aside-260", b"y" * 252 + b".dll", 1234), ("aside-ten-digits-over", b"x" * 250 + b"\\KeyCmd.dll", 4294967295),
                             # Digits that end inside a double-byte character take all of it: last, with a
                             # trail byte that reads as a backslash, and in the middle.
                             ("aside-gbk-last-cut", "C:\\abc钥".encode("gbk"), 1234),
                             ("aside-gbk-trail-backslash", "C:\\dir\\abc乗".encode("gbk"), 1234),
                             ("aside-gbk-middle-cut", "C:\\a钥bc".encode("gbk"), 42)]:
        write("install_paths", name, parts(b"C:", b"", path, tick))
    # Names recognised as set-aside copies of a payload name, and names that are not.
    for name, file, payload in [("seen-long-digits", b"KeyCmd123456789.OBK", b"KeyCmd.dll"), ("seen-lower-case", b"keycmd7dll.obk", b"KeyCmd.dll"),
                                ("seen-manifest", b"KeyUninstall.exe.mani99.OBK", b"KeyUninstall.exe.manifest"),
                                ("not-other-stem", b"KeyCspEx55.OBK", b"KeyCsp.dll"), ("not-no-digit", b"KeyCmd.OBK", b"KeyCmd.dll"),
                                ("not-bak", b"KeyCmd123.BAK", b"KeyCmd.dll"), ("not-letter-first", b"KeyCmdX123.OBK", b"KeyCmd.dll"),
                                ("not-no-ending", b"KeyCmd1", b"KeyCmd.dll")]:
        write("install_paths", name, parts(b"C:", file, payload, 1))
    write("install_paths", "trail-is-backslash", parts(b"C:\\\x81\\", b"\x81\\x.dll", b"\x81\\\x81\\abcdef", 31))


# --- report text -----------------------------------------------------------------------------

def report_text_seeds():
    def text(s, wide=True):
        return (struct.pack("<H", len(s)) if wide else bytes([len(s)])) + s

    def date(*v):
        return struct.pack("<6H", *v)

    def cert(enc, subject, issuer, blob, decimal):
        return (bytes([enc]) + text(subject) + text(issuer) + bytes([len(blob)]) + blob + text(decimal) +
                date(2024, 1, 1, 0, 0, 0) + date(2027, 12, 31, 23, 59, 59))

    def key(serial, label, certs):
        return serial + bytes([len(label)]) + label + bytes([len(certs)]) + b"".join(certs)

    one = key(b"\x12\x34\xab\xcd", "我的Key".encode("gbk"),
              [cert(1, b"Zhang San", b"Velmora CA", b"\x01\x02", b"258"),
               cert(0, "张三".encode("gbk"), "测试CA".encode("gbk"), b"\xff" * 20, b"9" * 48)])
    write("report_text", "one-key", b"\x0a\x00" + one + date(2026, 12, 7, 8, 0, 0))
    # Four keys, eight certificates each, every field at its limit: the largest report.
    biggest = cert(1, "名" .encode("gbk") * 127 + b"x", b"\xb0\xa1" * 127 + b"y", b"\xff" * 255, b"9" * 511)
    biggest = biggest[:-24] + date(65535, 65535, 65535, 65535, 65535, 65535) * 2
    full_key = key(b"\xff" * 4, b"\xc4\xe3" * 32, [biggest] * 8)
    write("report_text", "largest", b"\x0b\x03" + full_key * 4 + date(65535, 12, 31, 23, 59, 59))
    write("report_text", "oversize", b"\x86\x01" + b"\0\0\0\0" + text(b"L" * 3000) + b"\x02" +
          cert(0, b"S" * 3000, b"I" * 3000, b"\x01", b"7" * 3000) * 2)
    write("report_text", "lone-lead-bytes", b"\x07\x01" + key(b"\x81\x81\x81\x81", b"\x81" * 63,
                                                             [cert(1, b"\xfe", b"\x81", b"", b"")]))
    write("report_text", "empty", b"")
    # Labels that fill their 64-byte field: cut to 63 bytes, or to 62 where the 63rd is a lead byte.
    write("report_text", "label-fills-field", b"\x0a\x00" + key(b"\x01\x0a\x13\x14", b"a" * 64, []))
    write("report_text", "label-pair-ends-at-63", b"\x0a\x00" + key(b"\x01\x0a\x13\x14", b"a" + "张".encode("gbk") * 31 + b"x", []))
    write("report_text", "label-lead-at-63", b"\x0a\x00" + key(b"\x01\x0a\x13\x14", b"ab" + "张".encode("gbk") * 31, []))
    # Version classes 8 and 9 in the report, then platform id and two versions, one after the other.
    no_certs = key(b"\x01\x02\x03\x04", b"k", [])
    for name, mode, version in [
            ("nt-351-then-4", 0x08, (2, 3, 51, 4, 0)), ("nt-4-then-2000", 0x09, (2, 4, 0, 5, 0)),
            ("2000-then-xp", 0x08, (2, 5, 0, 5, 1)), ("xp-then-2003", 0x09, (2, 5, 1, 5, 2)),
            ("2003-then-vista", 0x08, (2, 5, 2, 6, 0)), ("vista-then-7", 0x09, (2, 6, 0, 6, 1)),
            ("7-then-8", 0x08, (2, 6, 1, 6, 2)), ("8-then-81", 0x09, (2, 6, 2, 6, 3)),
            ("nt-53-then-10", 0x00, (2, 5, 3, 10, 0)), ("95-then-98", 0x00, (1, 4, 0, 4, 10)),
            ("98-then-me", 0x00, (1, 4, 10, 9, 90)), ("9x-minor-20", 0x00, (1, 4, 20, 4, 90)),
            ("platform-0", 0x00, (0, 6, 1, 6, 1)), ("platform-3", 0x00, (3, 6, 1, 6, 1))]:
        write("report_text", "version-" + name, bytes([mode, 0]) + no_certs + date(2026, 1, 2, 3, 4, 5) + bytes(version))


# --- device notices --------------------------------------------------------------------------

def device_notice_seeds():
    def record(name, size=None, kind=5):
        body = struct.pack("<III", 0, kind, 0) + bytes(range(16)) + name
        size = len(body) if size is None else size
        return struct.pack("<I", size) + body[4:]
    path = b"\\\\?\\USB#VID_5E2B&PID_0001#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\0"
    write("device_notice", "key-arrival", b"\x00\x80" + record(path))
    write("device_notice", "other-device", b"\x00\x80" + record(b"\\\\?\\USB#VID_046D&PID_C077#1\0"))
    write("device_notice", "no-terminator", b"\x00\x80" + record(b"\\\\?\\USB#VID_5E2B&PID_0001"))
    write("device_notice", "volume", b"\x00\x80" + record(b"x\0", kind=2))
    write("device_notice", "name-too-long", b"\x00\x02" + record(path))
    write("device_notice", "size-too-small", b"\x00\x80" + record(path, size=20))
    # A name of exactly the buffer's size has no room for its NUL; one byte shorter fits.
    write("device_notice", "name-fills-buffer", b"\x00\x04" + record(b"012345678\0"))
    write("device_notice", "name-fits-buffer", b"\x00\x04" + record(b"01234567\0"))
    write("device_notice", "header-only", b"\x00\x80" + record(b""))
    write("device_notice", "size-below-header", b"\x00\x80" + record(path, size=4))
    # Command lines: only the last two characters decide.
    for name, line in [("close-switch", b"KeyManager.exe -u"), ("switch-alone", b"-u"), ("switch-upper", b"-U"),
                       ("switch-glued", b"x-u"), ("switch-quoted-path", b'"c:\\a b\\KeyManager.exe" -u'),
                       ("switch-after-gbk", "张三-u".encode("gbk")), ("line-u", b"u"), ("line-dash", b"-"),
                       ("switch-then-space", b"-u "), ("switch-then-x", b"-ux"), ("switch-v", b"-v"),
                       ("switch-slash", b"/u"), ("line-two-dashes", b"--")]:
        write("device_notice", name, b"\x00\x00" + line)


# --- certificate files ----------------------------------------------------------------------

def cert_file_seeds():
    write("cert_file", "small", certificate(600))
    write("cert_file", "exactly-2048", certificate(2048))
    write("cert_file", "one-over", certificate(2049))
    write("cert_file", "empty", b"")


# --- the virtual key -------------------------------------------------------------------------

KEY_INI = """; a comment
[key]
serial = 00C0FFEE
label=张三的Key
inserted=yes

[application1]
present=yes
pin=123456
max_retries=10
retries_left=3
locked=no
container0=Signing
[application2]
present=yes
pin=5678
max_retries=6
retries_left=6
locked=no
""".encode("gbk")


def virtual_key_seeds():
    def key(text, files, commands):
        out = struct.pack("<H", len(text)) + text
        for which, data in files:
            out += bytes([which]) + struct.pack("<H", len(data)) + data
        return out + b"\xff" + b"".join(commands)

    def select(p1, fid, no_data=False):
        return bytes([2 if no_data else 0, p1]) + struct.pack(">H", fid) + b"\0\0\0"

    def read(offset, count):
        return bytes([1, 0, 0, 0]) + struct.pack("<H", offset) + bytes([count])

    def update(offset, data, kind=0x80):
        return bytes([kind, 0, 0, 0]) + struct.pack("<H", offset) + bytes([len(data)]) + data

    walk = [select(0, 0, True), select(2, 0xEF01), read(0, 2), read(2, 128), read(130, 128), read(258, 84),
            select(1, 0xAD01), select(2, 0xEF01), read(0, 2), read(2, 128), select(1, 0xDF11), select(2, 0xEF01),
            read(0, 2), read(2, 128), read(130, 128), select(0, 0x3F00), select(1, 0xAD02), select(1, 0xDF21),
            select(2, 0xEF02), read(0, 2), read(600, 128)]
    der = certificate(700)
    write("virtual_key", "walk", key(KEY_INI, [(3, der), (6, der)], walk))
    write("virtual_key", "raw-corrupt", key(KEY_INI, [(7, b"\x7f\xff" + der[:100]), (0, b"\x00\x10abc")], walk))
    write("virtual_key", "ini-only", key(KEY_INI, [], []))
    write("virtual_key", "vanishing", key(KEY_INI.replace(b"inserted=yes", b"inserted=yes\nvanish_after_calls=12"), [], walk))
    write("virtual_key", "bad-ini", key(b"[key]\nserial=zz\nretrys_left=3\n", [], []))
    failing = b"inserted=yes\nfail=3 -5 6A82\nfailed_call=QZ_GET_SN"
    write("virtual_key", "failing", key(KEY_INI.replace(b"inserted=yes", failing), [], walk))
    for name, line in [("fail-call-zero", b"fail=0 -5 9000"), ("fail-no-status", b"fail=3 -5"),
                       ("fail-long-status", b"fail=3 -5 12345"), ("fail-result-too-large", b"fail=3 9999999 9000"),
                       ("fail-given-twice", b"fail=3 -5 9000\nfail=4 -5 9000"), ("fail-long-value", b"fail=" + b"1" * 50),
                       ("failed-call-bad-name", b"failed_call=Select File"), ("failed-call-empty", b"failed_call=")]:
        write("virtual_key", name, key(KEY_INI.replace(b"inserted=yes", b"inserted=yes\n" + line), [], []))
    write("virtual_key", "large-file", key(KEY_INI, [(4, bytes(9000))], walk))
    # Update_Binary on the signature certificate of application 2: inside it, its length prefix kept
    # and changed, past its end, no data, too much data, a folder that refuses writes.
    to_cert = [select(0, 0x3F00), select(1, 0xAD02), select(1, 0xDF21), select(2, 0xEF02)]
    write("virtual_key", "update-certificate", key(KEY_INI, [(6, der)], [update(0, b"\x30")] + to_cert + [
        update(2, b"\x30\x82\x02"), update(0, bytes([len(der) >> 8, len(der) & 0xFF])), update(1, b"\x10"),
        read(0, 2), update(len(der) - 4, b"x" * 20), update(0, b""), update(0, b"y" * 129),
        update(5, b"zzzz", 0xC0)]))
    # The manager's reading into its buffers (340, 620 and 3000 bytes): generated files, certificates
    # that fill the buffer or are one byte over, one that is absent.
    def manager_read(fid, size):
        return bytes([0x20, 0]) + struct.pack(">H", fid) + struct.pack("<H", size) + b"\0"
    reads = [manager_read(0xEF01, 340), select(1, 0xAD01), manager_read(0xEF01, 620), select(1, 0xDF11),
             manager_read(0xEF01, 3000), manager_read(0xEF02, 3000), select(0, 0x3F00), select(1, 0xAD01),
             select(1, 0xDF12), manager_read(0xEF01, 3000), select(0, 0x3F00), select(1, 0xAD02),
             manager_read(0xEF01, 620), select(1, 0xDF21), manager_read(0xEF02, 3000)]
    files = [(3, der), (5, certificate(3001)), (6, certificate(3000))]
    write("virtual_key", "manager-reads", key(KEY_INI, files, reads))
    write("virtual_key", "manager-reads-one-application",
          key(KEY_INI.replace(b"present=yes\npin=5678", b"present=no\npin=5678"), files, reads))
    # Stored images whose length prefix lies: one byte over the buffer, longer than the bytes there
    # (a piece fails), no whole prefix (the header fails), exactly one piece; and a file that ends
    # inside the first application's field, decoded as the others.
    write("virtual_key", "manager-reads-raw", key(KEY_INI, [(0, b"\x01\x55" + bytes(341)), (1, b"\x01\x2c" + bytes(200)),
                                                          (7, b"\x01"), (9, b"\x00\x80" + bytes(128)),
                                                          (8, b"\x00\x46" + b"\x01" * 70)],
                                                 reads + [select(0, 0x3F00), select(1, 0xAD02), select(1, 0xDF22),
                                                          manager_read(0xEF02, 3000)]))
    # Only certificates are written: the device information file refuses.
    write("virtual_key", "update-info", key(KEY_INI, [(0, b"\x00\x04info")], [select(0, 0, True), select(2, 0xEF01),
                                                                          update(2, b"ab")]))


def bounded_text_seeds():
    """Buffer size, flags (1: no NUL in the buffer), TextAppendBytes count, old text length, old text, new text."""
    zhang = "张三".encode("gbk")
    for name, size, flags, count, old, new in [
            ("fits", 8, 0, 3, b"", b"abc"), ("cut", 8, 0, 3, b"", b"abcdefghij"), ("unterminated", 8, 1, 1, b"", b"b"),
            ("unterminated-nothing-added", 8, 1, 0, b"", b""), ("gbk-cut", 6, 0, 3, b"ab", zhang),
            ("gbk-exact", 7, 0, 4, b"ab", zhang), ("date", 32, 0, 20, "日期:".encode("gbk"), "2014年3月5日".encode("gbk")),
            ("date-small", 9, 0, 9, b"", "2014年3月".encode("gbk")), ("lone-lead-byte", 10, 0, 2, b"", b"a\xd5"),
            ("lead-at-limit", 3, 0, 3, b"", b"a" + zhang), ("size-zero", 0, 0, 3, b"", b"abc"), ("size-one", 1, 0, 1, b"", b"a"),
            ("format-piece-cut", 255, 0, 255, b"", b"a" * 1022 + zhang), ("format-piece-full", 255, 0, 255, b"x", b"b" * 1100),
            ("old-fills-buffer", 4, 0, 1, b"abcdef", b"g"), ("gbk-ends-at-limit", 63, 0, 64, b"", b"ab" + zhang * 31)]:
        write("bounded_text", name, bytes([size, flags, count, len(old)]) + old + new)


def hex_to_dec_seeds():
    """Output size byte (0xFF: the manager's 512), then the digit text."""
    for name, size, text in [
            ("zero", 0xFF, b"0"), ("zeros", 0xFF, b"0000000000"), ("ff", 0xFF, b"ff"),
            ("deadbeef", 0xFF, b"DEADBEEF"), ("64-bit-max", 0xFF, b"F" * 16), ("64-bit-plus-one", 0xFF, b"1" + b"0" * 16),
            ("serial-20-bytes", 0xFF, b"574125ECCBBC1DC30B24B829A23A27123A5BC71B"),
            ("serial-20-bytes-ff", 0xFF, b"F" * 40), ("mixed-case", 0xFF, b"0123456789abcdefABCDEF0123456789abcdef01"),
            ("leading-zeros", 0xFF, b"0" * 5000 + b"1F"), ("fills-512", 0xFF, b"F" * 424), ("one-over-512", 0xFF, b"F" * 425),
            ("empty", 0xFF, b""), ("bad-digit", 0xFF, b"12G4"), ("leading-space", 0xFF, b" 12"),
            ("trailing-space", 0xFF, b"12 "), ("0x-prefix", 0xFF, b"0x12"), ("minus", 0xFF, b"-1"),
            ("gbk", 0xFF, b"\xb2\xe2"), ("nine-in-four", 4, b"FFFFFF"), ("999-fits-four", 4, b"3E7"),
            ("no-buffer", 0, b"12"), ("zero-in-one", 1, b"0"), ("bad-digit-small", 2, b"FFFFG")]:
        write("hex_to_dec", name, bytes([size]) + text)


def pin_input_seeds():
    """Change-buffer size byte, caption size byte, old PIN NUL new PIN NUL, digit and letter orders."""
    shuffle = bytes(range(10)) + bytes(range(26))
    write("pin_input", "typical", bytes([180, 4]) + b"1234\0Ab3dEf7h\0" + shuffle)
    write("pin_input", "ascending", bytes([20, 3]) + b"abcdefgh\0ABCDEFGH\0" + bytes(range(9, -1, -1)))
    write("pin_input", "longest", bytes([63, 7]) + b"!" * 40 + b"\0" + b"~" * 40 + b"\0" + bytes([255] * 36))
    write("pin_input", "too-small", bytes([5, 1]) + b"123456\0654321\0")
    write("pin_input", "gbk-bytes", bytes([100, 2]) + b"\xd5\xc5\xc8\xfd1234\0\x81\x81\x81\0" + bytes([200] * 36))
    write("pin_input", "empty-pins", bytes([0, 0]) + b"\0\0")
    # Long one-case PINs rate medium; the last byte less 4 is the shuffle's length.
    for name, pins, length in [("lower-case", b"qwertyui\0ASDFGHJK\0", 10), ("upper-case", b"ZXCVBNMQ\0zz\0", 26),
                               ("space", b"12 34\0\t\0", 128), ("shuffle-none", b"1\0a\0", 0),
                               ("shuffle-negative", b"1\0a\0", -1), ("shuffle-too-long", b"1\0a\0", 129)]:
        write("pin_input", name, bytes([64, 3]) + pins + shuffle + bytes([length + 4]))


if __name__ == "__main__":
    cert_file_seeds()
    virtual_key_seeds()
    update_record_seeds()
    install_paths_seeds()
    report_text_seeds()
    device_notice_seeds()
    pin_input_seeds()
    hex_to_dec_seeds()
    bounded_text_seeds()
