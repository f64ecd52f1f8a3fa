#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target (tests/fuzz/corpus/).

Each seed is a machine in the byte layout that tests/fuzz/fuzz_machine.h
reads. Run it again after changing that layout:
    python3 tests/fuzz/make_corpus.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
WORDS = ["Install", "Uninstall", "Clean", "Preinstall", "Preinstall_f",
         "Preinstall_cfg", "Preinstall_cu", "Preinstall_BYT"]
# Indexes into kFuzzVersions.
WIN7, VISTA, SERVER2003, XP, WIN2000, WIN8, SEVEN_X, NT4 = range(8)
# Instance-ID prefixes (upper four bits of a device's flags).
RAW, C301, A101, D40B_MI, USB, FOREIGN, HID, C307 = range(8)


def text(value):
    """A text: backslashes doubled, ended by a backslash and one more byte."""
    if isinstance(value, str):
        value = value.encode("latin-1")
    return value.replace(b"\\", b"\\\\") + b"\\|"


def inf(provider, ids, models="Models"):
    """A signed INF (the package's catalog kwe.cat) with its models in the
    section the installer reads and in the one 64-bit Windows binds through."""
    lines = "".join("%%Dev%d%%=Install%d,%s\r\n" % (i, i, hw) for i, hw in enumerate(ids))
    return ('[Version]\r\nSignature="$Windows NT$"\r\nClass=Ports\r\nProvider=%s\r\nCatalogFile=kwe.cat\r\n\r\n'
            "[Manufacturer]\r\n%%Mfg%%=%s,NTamd64\r\n\r\n[%s]\r\n%s\r\n[%s.NTamd64]\r\n%s\r\n"
            "[Strings]\r\nMfg=\"Maker\"\r\n" % (provider, models, models, lines, models, lines))


def multi_sz(ids, terminated=True):
    data = b"".join(i.encode("latin-1") + b"\0" for i in ids)
    return data + b"\0" if terminated else data.rstrip(b"\0")


def machine(word, version, flags=2 | 8, vss_start=0, product_type=(1, "WinNT\0"),
            sys_files=(), infs=(), oems=(), devices=()):
    out = bytearray()
    if isinstance(word, str):
        out.append(9)
        out += text(word)
    else:
        out.append(word)
    out.append(version)
    out.append(flags)
    out.append(vss_start)
    out.append(product_type[0])
    out += text(product_type[1])
    out.append(len(sys_files))
    for stem in sys_files:
        out += text(stem)
    out.append(len(infs))
    for stem, contents in infs:
        out += text(stem)
        out += text(contents)
    out.append(len(oems))
    for oem_flags, contents in oems:
        out.append(oem_flags)
        out += text(contents)
    out.append(len(devices))
    for dev_flags, prefix, instance, raw in devices:
        out.append((prefix << 4) | dev_flags)
        out += text(instance)
        out += text(raw)
    return bytes(out)


PACKAGE_SYS = ["diag3e1f", "gorvel", "KWEusbmdm6k", "KWEusbnmea"]
PACKAGE_INFS = [
    ("diag3e1f", inf("KWE Corporation", ["USB\\VID_3E1F&PID_A105&MI_02"])),
    ("gorvel", inf("KWE Corporation", ["USB\\VID_3E1F&PID_C301", "USB\\VID_3E1F&PID_C302"])),
    ("kwemdm", inf("KWE Corporation", ["USB\\VID_3E1F&PID_A101&MI_00", "USB\\VID_3E1F&PID_B201&MI_00"])),
    ("kwenmea", inf("KWE Corporation", ["USB\\VID_3E1F&PID_A101&MI_01"])),
]
OEMS = [
    (1, inf("KWE Corporation", ["usb\\vid_3e1f&pid_a101&mi_00"])),
    (1, inf("Other Corp", ["USB\\VID_1234&PID_5678"])),
    (3, inf("ZEFO Incorporated", ["USB\\VID_3E1F&PID_D401"])),
    (0, inf("KWE Corporation Ltd", ["USB\\VID_0781&PID_5567"])),
]
DEVICES = [
    (1, A101, "5&1A2B&0&1", multi_sz(["USB\\VID_3E1F&PID_A101&REV_0100", "USB\\VID_3E1F&PID_A101"])),
    (1, C301, "0123456789ABCDEF", multi_sz(["USB\\VID_3E1F&PID_C301&REV_0200", "USB\\VID_3E1F&PID_C301"])),
    (0, RAW, "USB\\VID_3E1F&PID_B201\\5&9", multi_sz(["USB\\Vid_3E1F&Pid_B201"])),
    (1, FOREIGN, "7&3&0&1", multi_sz(["USB\\VID_1234&PID_5678"])),
    (1, HID, "7&5&0&0", multi_sz(["HID\\VID_3E1F&PID_A101&MI_04"])),
]


def seeds():
    rich = dict(sys_files=PACKAGE_SYS, infs=PACKAGE_INFS, oems=OEMS, devices=DEVICES)
    for index, word in enumerate(WORDS):
        version = VISTA if word.startswith("Preinstall") else WIN7
        yield "word-%s" % word.lower(), machine(index, version, **rich)
    yield "no-word", machine(8, WIN7, **rich)
    yield "unknown-word", machine("install", WIN7, **rich)
    yield "windows-2000-reinstall", machine(
        3, WIN2000, flags=0, sys_files=["gorvel"], infs=[PACKAGE_INFS[1]],
        devices=[(5, C301, "1", multi_sz(["USB\\VID_3E1F&PID_C301"]))])
    yield "product-type-fallback", machine(
        0, SERVER2003, flags=1, product_type=(3, "\xff" * 80), sys_files=["a"],
        infs=[("a", inf("KWE Corporation", ["USB\\VID_3E1F&PID_A101"]))])
    yield "locked-database", machine(4, VISTA, flags=2 | 4 | 8, **rich)
    yield "odd-lists", machine(
        1, WIN7, sys_files=["gorvel"], infs=[PACKAGE_INFS[1]],
        devices=[(1, D40B_MI, "1", multi_sz(["USB\\VID_9999&PID_0001", "USB\\Vid_3E1F&PID_D40B"], False)),
                 (1, C307, "2", b"USB\\VID_3E1F&PID_C307" + b"F" * 300),
                 (3, USB, "VID_3E1F&PID_A102\\3", b""),
                 (1, C301, "X" * 230, multi_sz(["USB\\VID_3E1F&PID_C301"]))])
    yield "broken-infs", machine(
        0, WIN7, sys_files=["k"],
        infs=[("empty", ""), ("noman", '[Version]\r\nSignature="$Windows NT$"\r\n'),
              ("long", inf("KWE Corporation", ["USB\\VID_3E1F&PID_A101&" + "Q" * 300])),
              ("fmt%s%n", inf("%s%n%x", ["USB\\VID_3E1F&PID_A101%n"]))],
        oems=[(0, "[Manufacturer]\r\nM=Models\r\n"), (1, inf("KWE Corporation", ["USB\\VID_3E1F&PID_A101&" + "Q" * 300]))])
    yield "clean-providers", machine(
        2, WIN7, oems=[(1, inf(p, ["X\\Y"])) for p in
                       ["KWE Communication", "kwe corporation", "\"ZEFO Corporation\"", "ZEFO Communication "]])


def main():
    folder = os.path.join(HERE, "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
