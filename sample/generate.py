#!/usr/bin/env python3
"""Writes the sample driver package sample/Drivers from the table below.

Run it after changing the table or the sample drivers, with both presets
built (the windows preset builds the drivers, the host preset the signing
tool): python3 sample/generate.py
Every OS folder gets the same functions; only the target text and the driver
version differ between the folders. The driver files are the windows preset's
build of sample/drivers; each INF's catalog is written and signed by
hallimor-sign with a test signer made afresh (python3-cryptography), whose
root certificate is kept in TEST-ONLY-root-certificate.pem.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
ROOT = os.path.join(HERE, "Drivers", "64bit")

# (folder below 64bit, target text, DriverVer)
TARGETS = [
    ("WIN7", "Windows 7 x64", "11/20/2009,2.3.0.6"),
    ("VISTA", "Windows Vista x64", "11/20/2009,2.3.0.6"),
    ("WNET", "Windows XP x64 and Windows Server 2003 x64", "06/12/2009,2.2.9.4"),
    ("", "Windows 8 and later x64", "03/02/2012,2.4.1.2"),
]

# The products of the family, by USB product ID, with the interface number
# of each function on the composite device. Mixed spellings are kept as the
# vendor's INFs have them: setup compares hardware IDs without regard to case.
COMPOSITE = ["USB\\VID_3E1F&PID_A101", "USB\\VID_3E1F&PID_A102", "USB\\Vid_3E1F&Pid_A10A",
             "USB\\VID_3E1F&PID_B201", "USB\\VID_3E1F&PID_B20C"]

FUNCTIONS = [
    # file, INF, service, class, class GUID, provider key, description, interface, extra
    dict(sys="KWEusbmdm6k.sys", inf="kwemdm.inf", service="KWEusbmdm6k", cls="Modem",
         guid="{4D36E96D-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWEModem",
         desc="KWE USB Modem", mi="00", compatible="USB\\Class_02&SubClass_02&Prot_01",
         body="Include   = mdmcpq.inf\nAddReg    = KWEModem.AddReg\n",
         addreg="[KWEModem.AddReg]\nHKR,, FriendlyDriver, 0, KWEusbmdm6k.sys\nHKR,, PortSubClass, 1, 02\n"
                "HKR, Init, 1, 0, \"AT<cr>\"\nHKR, Init, 2, 0, \"ATE0V1<cr>\"\n"),
    dict(sys="KWEusbser6k.sys", inf="kweser.inf", service="KWEusbser6k", cls="Ports",
         guid="{4D36E978-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWESerial",
         desc="KWE USB Serial Port", mi="01", compatible="USB\\Class_FF&SubClass_FF&Prot_FF",
         body="AddReg    = KWESerial.AddReg\n",
         addreg="[KWESerial.AddReg]\nHKR,, PortSubClass, 1, 01\nHKR,, EnumPropPages32, 0, \"MsPorts.dll,SerialPortPropPageProvider\"\n"),
    dict(sys="KWEusbnmea.sys", inf="kwenmea.inf", service="KWEusbnmea", cls="Ports",
         guid="{4D36E978-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWENmea",
         desc="KWE USB NMEA Port", mi="02", compatible="USB\\Class_FF&SubClass_FF&Prot_FF",
         body="AddReg    = KWENmea.AddReg\n",
         addreg="[KWENmea.AddReg]\nHKR,, PortSubClass, 1, 01\nHKR,, NmeaPort, 0x00010001, 1\n"),
    dict(sys="KWETDDiag.sys", inf="kwediag.inf", service="KWETDDiag", cls="Ports",
         guid="{4D36E978-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWEDiag",
         desc="KWE USB Diagnostic Port", mi="03", compatible="USB\\Class_FF&SubClass_FF&Prot_FF",
         body="AddReg    = KWEDiag.AddReg\n",
         addreg="[KWEDiag.AddReg]\nHKR,, PortSubClass, 1, 01\n"),
    dict(sys="KWEusbnet.sys", inf="kwenet.inf", service="KWEusbnet", cls="Net",
         guid="{4D36E972-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWENet",
         desc="KWE USB Network Adapter", mi="04", compatible="USB\\Class_02&SubClass_06",
         body="Characteristics = 0x84\nBusType   = 15\nAddReg    = KWENet.AddReg\n",
         addreg="[KWENet.AddReg]\nHKR, Ndi, Service, 0, KWEusbnet\nHKR, Ndi\\Interfaces, UpperRange, 0, \"ndis5\"\n"
                "HKR, Ndi\\Interfaces, LowerRange, 0, \"ethernet\"\n"),
    dict(sys="KWETDSound.sys", inf="kwesnd.inf", service="KWETDSound", cls="MEDIA",
         guid="{4D36E96C-E325-11CE-BFC1-08002BE10318}", maker="KWE", name="KWESound",
         desc="KWE USB Voice Device", mi="05", compatible="USB\\Class_01&SubClass_01",
         body="AddReg    = KWESound.AddReg\n",
         addreg="[KWESound.AddReg]\nHKR,, Driver, 0, KWETDSound.sys\n"),
    dict(sys="KWEusbccid.sys", inf="kweccid.inf", service="USBKWECCID", cls="SmartCardReader",
         guid="{50DD5230-BA8A-11D1-BF5D-0000F805F530}", maker="KWE", name="KWECcid",
         desc="KWE USB Smart Card Reader", mi="06", compatible="USB\\Class_0B&SubClass_00",
         body="AddReg    = KWECcid.AddReg\n",
         addreg="[KWECcid.AddReg]\nHKR,, MaximumReader, 0x00010001, 1\n"),
    # The broadcast-TV receiver is its own product under the vendor's second
    # brand, with a provider name of its own.
    dict(sys="ZEFODVBH.sys", inf="zefodvbh.inf", service="ZEFOdvbh", cls="MEDIA",
         guid="{4D36E96C-E325-11CE-BFC1-08002BE10318}", maker="ZEFO", name="ZEFODvbh",
         desc="ZEFO Mobile TV Receiver", mi=None, compatible="USB\\Class_FF&SubClass_00",
         products=["USB\\VID_3E1F&PID_D401", "USB\\VID_3E1F&PID_D402", "USB\\VID_3E1F&PID_D40B"],
         body="AddReg    = ZEFODvbh.AddReg\n",
         addreg="[ZEFODvbh.AddReg]\nHKR,, DevLoader, 0, *ntkern\nHKR,, NTMPDriver, 0, ZEFODVBH.sys\n"),
]

MAKERS = {"KWE": "KWE Corporation", "ZEFO": "ZEFO Incorporated"}

STORAGE_IDS = ["USB\\VID_3E1F&PID_C30%d" % n for n in range(1, 8)]


def model_lines(f):
    lines = []
    if f.get("products"):
        for product in f["products"]:
            lines.append("%%%s.DeviceDesc%% = %s.Install, %s, %s" % (f["name"], f["name"], product,
                                                                      f["compatible"]))
    else:
        for product in COMPOSITE:
            hwid = "%s&MI_%s" % (product, f["mi"])
            lines.append("%%%s.DeviceDesc%% = %s.Install, %s, %s&REV_0100&MI_%s, %s" % (
                f["name"], f["name"], hwid, product, f["mi"], f["compatible"]))
    return "\n".join(lines) + "\n"


def function_inf(f, target, driver_ver):
    maker = f["maker"]
    name = f["name"]
    models = model_lines(f)
    return (
        ";\n; %s -- %s function\n; Target: %s\n; Copyright (C) 2009 %s. All rights reserved.\n;\n\n"
        "[Version]\n"
        "Signature   = \"$Windows NT$\"\n"
        "Class       = %s\n"
        "ClassGuid   = %s\n"
        "Provider    = %%%s%%\n"
        "CatalogFile = %s\n"
        "DriverVer   = %s\n\n"
        "[ControlFlags]\nExcludeFromSelect = *\n\n"
        "[Manufacturer]\n%%%s%% = %s, NTamd64\n\n"
        "; Setup reads the models section by the plain name in the line above, so the\n"
        "; undecorated section lists the same devices as the NTamd64 one.\n"
        "[%s]\n%s\n[%s.NTamd64]\n%s\n"
        "[SourceDisksNames]\n1 = %%DiskName%%,,,\n\n"
        "[SourceDisksFiles]\n%s = 1\n\n"
        "[DestinationDirs]\nDefaultDestDir = 12\n\n"
        "[%s.Install]\nCopyFiles = %s.CopyFiles\n%s\n"
        "[%s.CopyFiles]\n%s\n\n%s\n"
        "[%s.Install.Services]\nAddService = %s, 0x00000002, %s.Service\n\n"
        "[%s.Service]\n"
        "DisplayName   = %%%s.ServiceDesc%%\n"
        "ServiceType   = 1                   ; SERVICE_KERNEL_DRIVER\n"
        "StartType     = 3                   ; SERVICE_DEMAND_START\n"
        "ErrorControl  = 1                   ; SERVICE_ERROR_NORMAL\n"
        "ServiceBinary = %%12%%\\%s\n\n"
        "[Strings]\n"
        "%s = \"%s\"\n"
        "DiskName = \"%s Handset Driver Disk\"\n"
        "%s.DeviceDesc = \"%s\"\n"
        "%s.ServiceDesc = \"%s Driver\"\n"
    ) % (f["inf"], f["desc"], target, MAKERS[maker],
         f["cls"], f["guid"], maker, f["inf"][:-4] + ".cat", driver_ver,
         maker, maker, maker, models, maker, models,
         f["sys"], name, name, f["body"], name, f["sys"], f["addreg"],
         name, f["service"], name, name, name, f["sys"],
         maker, MAKERS[maker], maker, name, f["desc"], name, f["desc"])


def filter_inf(target, driver_ver):
    models = "".join("%%Gorvel.DeviceDesc%% = Gorvel.Install, %s, USBSTOR\\Disk\n" % i for i in STORAGE_IDS)
    return (
        ";\n; gorvel.inf -- KWE mass storage lower filter for the handsets' built-in disk\n"
        "; Target: %s\n; Copyright (C) 2009 KWE Corporation. All rights reserved.\n;\n\n"
        "[Version]\n"
        "Signature   = \"$Windows NT$\"\n"
        "Class       = USB\n"
        "ClassGuid   = {36FC9E60-C465-11CF-8056-444553540000}\n"
        "Provider    = %%KWE%%\n"
        "CatalogFile = gorvel.cat\n"
        "DriverVer   = %s\n\n"
        "[ControlFlags]\nExcludeFromSelect = *\n\n"
        "[Manufacturer]\n%%KWE%% = KWE, NTamd64\n\n"
        "; Setup reads the models section by the plain name in the line above, so the\n"
        "; undecorated section lists the same devices as the NTamd64 one.\n"
        "[KWE]\n%s\n[KWE.NTamd64]\n%s\n"
        "[SourceDisksNames]\n1 = %%DiskName%%,,,\n\n"
        "[SourceDisksFiles]\ngorvel.sys = 1\n\n"
        "[DestinationDirs]\nDefaultDestDir = 12\n\n"
        "; The storage function keeps the system's USB storage driver; gorvel sits\n"
        "; below it as a lower filter.\n"
        "[Gorvel.Install]\nInclude   = usbstor.inf\nNeeds     = USBSTOR.NT\nCopyFiles = Gorvel.CopyFiles\n\n"
        "[Gorvel.Install.HW]\nAddReg = Gorvel.HW.AddReg\n\n"
        "[Gorvel.HW.AddReg]\nHKR,, LowerFilters, 0x00010000, gorvel\n\n"
        "[Gorvel.CopyFiles]\ngorvel.sys\n\n"
        "[Gorvel.Install.Services]\nInclude    = usbstor.inf\nNeeds      = USBSTOR.NT.Services\n"
        "AddService = gorvel, , Gorvel.Service\n\n"
        "[Gorvel.Service]\n"
        "DisplayName   = %%Gorvel.ServiceDesc%%\n"
        "ServiceType   = 1                   ; SERVICE_KERNEL_DRIVER\n"
        "StartType     = 3                   ; SERVICE_DEMAND_START\n"
        "ErrorControl  = 1                   ; SERVICE_ERROR_NORMAL\n"
        "ServiceBinary = %%12%%\\gorvel.sys\n\n"
        "[Strings]\n"
        "KWE                = \"KWE Corporation\"\n"
        "DiskName           = \"KWE Handset Driver Disk\"\n"
        "Gorvel.DeviceDesc  = \"KWE Mass Storage Device\"\n"
        "Gorvel.ServiceDesc = \"KWE Mass Storage Filter Driver\"\n"
    ) % (target, driver_ver, models, models)


def write(path, text):
    with open(path, "w", newline="\r\n") as out:
        out.write(text)


# The test signer's certificates are valid from here to the end of 2049, and
# the catalogs say they were made at the start of that span.
VALID_FROM = datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc)
VALID_TO = datetime.datetime(2049, 12, 31, 23, 59, 59, tzinfo=datetime.timezone.utc)
ROOT_CERTIFICATE = os.path.join(HERE, "TEST-ONLY-root-certificate.pem")
TEST_ONLY = "TEST ONLY - not a release signer"


def test_certificates(work):
    """A fresh root and signer, both named TEST ONLY. Their keys live only in
    the temporary folder: nothing can sign as them once the sample is made."""
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

    def name(common):
        return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, TEST_ONLY),
                          x509.NameAttribute(NameOID.COMMON_NAME, common)])

    def certificate(subject, issuer, key, signing_key, ca):
        builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(VALID_FROM).not_valid_after(VALID_TO)
                   .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
        if not ca:
            builder = builder.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CODE_SIGNING]), critical=False)
        return builder.sign(signing_key, hashes.SHA256())

    root_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    signer_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    root_name = name("Hallimor sample root CA (TEST ONLY)")
    root = certificate(root_name, root_name, root_key, root_key, True)
    signer = certificate(name("KWE sample package signer (TEST ONLY)"), root_name, signer_key, root_key, False)
    pem = serialization.Encoding.PEM
    chain = os.path.join(work, "chain.pem")
    key = os.path.join(work, "signer.key")
    with open(chain, "wb") as f:
        f.write(signer.public_bytes(pem) + root.public_bytes(pem))
    with open(key, "wb") as f:
        f.write(signer_key.private_bytes(pem, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
    with open(ROOT_CERTIFICATE, "wb") as f:
        f.write(root.public_bytes(pem))
    return chain, key


def main():
    drivers = os.path.join(REPO, "build", "windows", "sample-drivers")
    signer = os.path.join(REPO, "build", "host", "hallimor-sign")
    for needed, preset in ((os.path.join(drivers, "gorvel.sys"), "windows"), (signer, "host")):
        if not os.path.exists(needed):
            sys.exit("%s is missing: build the %s preset first" % (needed, preset))
    if os.path.isdir(ROOT):
        shutil.rmtree(ROOT)
    for folder, target, driver_ver in TARGETS:
        out = os.path.join(ROOT, folder) if folder else ROOT
        os.makedirs(out, exist_ok=True)
        files = [("gorvel.sys", "gorvel.inf", filter_inf(target, driver_ver))]
        files += [(f["sys"], f["inf"], function_inf(f, target, driver_ver)) for f in FUNCTIONS]
        for sys_name, inf_name, inf_text in files:
            write(os.path.join(out, inf_name), inf_text)
            shutil.copyfile(os.path.join(drivers, sys_name), os.path.join(out, sys_name))
    with tempfile.TemporaryDirectory() as work:
        chain, key = test_certificates(work)
        subprocess.run([signer, os.path.join(HERE, "Drivers"), "--cert", chain, "--key", key,
                        "--time", str(int(VALID_FROM.timestamp()))], check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
