#!/usr/bin/env python3
"""The Windows 11 package as installer/package/make_msix.py makes it, checked on its own
terms (nothing here is shared with the packer):

- the ZIP: every file stored whole but the content types, which are deflated (the form
  osslsigncode keeps consistent when it signs), the block map and the content types after
  the payload, every entry matching its CRC;
- AppxBlockMap.xml: every payload file once, its size and local header size as in the
  ZIP, and the SHA-256 of each of its 64 KiB blocks, in base64;
- [Content_Types].xml: a type for every part;
- AppxManifest.xml: well-formed, and every element and attribute the Windows 11 menu relies
  on (identity with the unsigned publisher form, external content, the context-menu verbs
  for "*", "Directory" and "Drive", the surrogate COM server of the command class, the executable);
- a damaged package is caught, the same input gives the same bytes, and the publisher form
  of a certificate subject is the one Windows compares.

  check_msix.py MAKE_MSIX COMMAND_CLSID VERSION WORKDIR
"""
import base64
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET
import zipfile

MAKE_MSIX, CLSID, VERSION, WORK = sys.argv[1:5]
del sys.argv[1:5]

NS = {
    "f": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities",
    "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "bm": "http://schemas.microsoft.com/appx/2010/blockmap",
    "ct": "http://schemas.openxmlformats.org/package/2006/content-types",
}
UNSIGNED = "CN=Veltrane, OID.2.25.311729368913984317654407730594956997722=1"
GUID = CLSID.strip("{}").upper()


def make(*args):
    subprocess.run([sys.executable, MAKE_MSIX, *args], check=True)


def build(name, publisher=UNSIGNED, extra=None):
    """Stages and packs a package; `extra` maps further payload names to their bytes."""
    stage = os.path.join(WORK, name)
    shutil.rmtree(stage, ignore_errors=True)
    make("stage", stage, "--version", VERSION, "--clsid", CLSID, "--publisher", publisher)
    for part, data in (extra or {}).items():
        path = os.path.join(stage, *part.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    out = stage + ".msix"
    make("pack", stage, out)
    return out


def problems(path):
    """Everything wrong with the package at path, as sentences; empty when it is sound."""
    found = []
    with open(path, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        names = [i.filename for i in infos]
        if names[-2:] != ["AppxBlockMap.xml", "[Content_Types].xml"]:
            found.append(f"block map and content types are not last: {names}")
        payload = [i for i in infos if i.filename not in ("AppxBlockMap.xml", "[Content_Types].xml")]
        for info in infos:
            wanted = (zipfile.ZIP_DEFLATED if info.filename == "[Content_Types].xml"
                      else zipfile.ZIP_STORED)
            if info.compress_type != wanted:
                found.append(f"{info.filename} has compression method {info.compress_type}")
        if archive.testzip() is not None:
            found.append(f"{archive.testzip()} does not match its CRC")
        blockmap = ET.fromstring(archive.read("AppxBlockMap.xml"))
        if blockmap.tag != f"{{{NS['bm']}}}BlockMap":
            found.append(f"block map root {blockmap.tag}")
        if blockmap.get("HashMethod") != "http://www.w3.org/2001/04/xmlenc#sha256":
            found.append(f"hash method {blockmap.get('HashMethod')}")
        listed = {}
        for entry in blockmap.findall("bm:File", NS):
            name = entry.get("Name").replace("\\", "/")
            if name in listed:
                found.append(f"{name} listed twice")
            listed[name] = entry
        if sorted(listed) != sorted(i.filename for i in payload):
            found.append(f"block map lists {sorted(listed)}, package holds "
                         f"{sorted(i.filename for i in payload)}")
        for info in payload:
            entry = listed.get(info.filename)
            if entry is None:
                continue
            # The local header as it lies in the file: 30 bytes, the name, the extra field;
            # the stored bytes follow (read from the file, not through the ZIP reader, so
            # that a damaged byte shows in the hashes).
            signature, = struct.unpack_from("<I", raw, info.header_offset)
            name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
            start = info.header_offset + 30 + name_length + extra_length
            data = bytes(raw[start:start + info.compress_size])
            if int(entry.get("Size")) != len(data):
                found.append(f"{info.filename}: size {entry.get('Size')} for {len(data)} bytes")
            if signature != 0x04034B50:
                found.append(f"{info.filename}: no local header at {info.header_offset}")
            if int(entry.get("LfhSize")) != 30 + name_length + extra_length:
                found.append(f"{info.filename}: LfhSize {entry.get('LfhSize')}, header is "
                             f"{30 + name_length + extra_length}")
            hashes = [b.get("Hash") for b in entry.findall("bm:Block", NS)]
            expected = [base64.b64encode(hashlib.sha256(data[i:i + 65536]).digest()).decode()
                        for i in range(0, len(data), 65536)]
            if hashes != expected:
                found.append(f"{info.filename}: block hashes do not match its bytes")
        types = ET.fromstring(archive.read("[Content_Types].xml"))
        defaults = {d.get("Extension").lower(): d.get("ContentType")
                    for d in types.findall("ct:Default", NS)}
        overrides = {o.get("PartName"): o.get("ContentType") for o in types.findall("ct:Override", NS)}
        if overrides.get("/AppxManifest.xml") != "application/vnd.ms-appx.manifest+xml":
            found.append("no manifest content type")
        if overrides.get("/AppxBlockMap.xml") != "application/vnd.ms-appx.blockmap+xml":
            found.append("no block map content type")
        for info in payload:
            extension = info.filename.rsplit(".", 1)[-1].lower()
            if "/" + info.filename not in overrides and extension not in defaults:
                found.append(f"no content type for {info.filename}")
    return found


def manifest(path):
    with zipfile.ZipFile(path) as archive:
        return archive.read("AppxManifest.xml"), set(archive.namelist())


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        cls.path = build("plain")
        data, cls.names = manifest(cls.path)
        cls.text = data.decode("utf-8")
        cls.root = ET.fromstring(data)

    def test_structure_and_hashes(self):
        self.assertEqual([], problems(self.path))

    def test_files_of_several_blocks_and_none(self):
        big = bytes((i * 7 + i // 65536) % 251 for i in range(3 * 65536 + 1234))
        path = build("blocks", extra={"bin/big.dat": big, "empty.txt": b"", "x/y/z.bin": b"z"})
        self.assertEqual([], problems(path))
        with zipfile.ZipFile(path) as archive:
            blockmap = ET.fromstring(archive.read("AppxBlockMap.xml"))
        blocks = {f.get("Name"): len(f.findall("bm:Block", NS)) for f in blockmap.findall("bm:File", NS)}
        self.assertEqual(4, blocks["bin\\big.dat"])
        self.assertEqual(0, blocks["empty.txt"])

    def test_a_changed_byte_or_a_missing_entry_is_caught(self):
        with open(self.path, "rb") as f:
            raw = bytearray(f.read())
        at = raw.index(b"<DisplayName>Veltrane")  # inside the stored manifest
        raw[at + 14] ^= 0x20
        damaged = os.path.join(WORK, "damaged.msix")
        with open(damaged, "wb") as f:
            f.write(raw)
        self.assertTrue(any("block hashes" in p for p in problems(damaged)), problems(damaged))

        short = os.path.join(WORK, "short.msix")
        with zipfile.ZipFile(self.path) as source, zipfile.ZipFile(short, "w") as target:
            for info in source.infolist():
                if info.filename != "Assets/StoreLogo.png":
                    target.writestr(info, source.read(info.filename))
        self.assertTrue(any("block map lists" in p for p in problems(short)), problems(short))

    def test_the_same_input_gives_the_same_bytes(self):
        again = build("again")
        with open(self.path, "rb") as a, open(again, "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_identity_is_unsigned_and_external(self):
        identity = self.root.find("f:Identity", NS)
        self.assertEqual("Veltrane", identity.get("Name"))
        self.assertEqual(UNSIGNED, identity.get("Publisher"))
        self.assertEqual(VERSION, identity.get("Version"))
        self.assertEqual("true", self.root.findtext("f:Properties/uap10:AllowExternalContent",
                                                    namespaces=NS))
        # Every prefix used outside the foundation schema is ignorable by older systems.
        ignorable = set(self.root.get("IgnorableNamespaces").split())
        used = set(re.findall(r"<(\w+):", self.text)) | set(re.findall(r"\s(\w+):\w+=", self.text))
        self.assertEqual(set(), used - ignorable - {"xmlns"})
        for logo in [self.root.findtext("f:Properties/f:Logo", namespaces=NS)] + [
                self.root.find(".//uap:VisualElements", NS).get(a)
                for a in ("Square150x150Logo", "Square44x44Logo")]:
            self.assertIn(logo.replace("\\", "/"), self.names)

    def test_application_runs_the_command_line_program_as_a_desktop_program(self):
        application = self.root.find("f:Applications/f:Application", NS)
        self.assertEqual("x64\\veltrane.exe", application.get("Executable"))
        self.assertEqual("mediumIL", application.get(f"{{{NS['uap10']}}}TrustLevel"))
        self.assertEqual("win32App", application.get(f"{{{NS['uap10']}}}RuntimeBehavior"))
        self.assertEqual("none", application.find("uap:VisualElements", NS).get("AppListEntry"))
        capabilities = [c.get("Name") for c in self.root.findall("f:Capabilities/rescap:Capability", NS)]
        self.assertIn("runFullTrust", capabilities)

    def test_context_menu_verbs_name_the_command_class(self):
        extensions = self.root.findall(".//f:Application/f:Extensions/desktop4:Extension", NS)
        menus = [e for e in extensions if e.get("Category") == "windows.fileExplorerContextMenus"]
        self.assertEqual(1, len(menus))
        types = {}
        for item in menus[0].findall("desktop4:FileExplorerContextMenus/desktop5:ItemType", NS):
            types[item.get("Type")] = [(v.get("Id"), v.get("Clsid"))
                                       for v in item.findall("desktop5:Verb", NS)]
        self.assertEqual({"*": [("Veltrane", GUID)], "Directory": [("Veltrane", GUID)],
                          "Drive": [("Veltrane", GUID)]}, types)

    def test_the_command_class_is_a_surrogate_server_in_the_installed_dll(self):
        servers = [e for e in self.root.findall(".//f:Application/f:Extensions/com:Extension", NS)
                   if e.get("Category") == "windows.comServer"]
        self.assertEqual(1, len(servers))
        classes = servers[0].findall("com:ComServer/com:SurrogateServer/com:Class", NS)
        self.assertEqual([(GUID, "x64\\veltrane.dll", "STA")],
                         [(c.get("Id"), c.get("Path"), c.get("ThreadingModel")) for c in classes])


class Publisher(unittest.TestCase):
    def publisher(self, *subject):
        return subprocess.run([sys.executable, MAKE_MSIX, "publisher", *subject], check=True,
                              capture_output=True, text=True).stdout.strip()

    def test_without_a_certificate_the_unsigned_form(self):
        self.assertEqual(UNSIGNED, self.publisher())

    def test_a_subject_in_the_form_windows_compares(self):
        self.assertEqual('CN=Veltrane Test, O="Veltrane Test, Inc.", S=Some State, C=US',
                         self.publisher(r"subject=CN=Veltrane Test,O=Veltrane Test\, Inc.,"
                                        r"ST=Some State,C=US"))
        self.assertEqual("CN=A", self.publisher("CN=A"))

    def test_every_attribute_of_real_subjects_has_the_name_windows_writes(self):
        # As `openssl x509 -subject -nameopt RFC2253` prints them, and as Windows shows the
        # same certificates' subjects.
        cases = [
            # An extended-validation certificate of a company.
            (r"CN=Example Software Inc.,O=Example Software Inc.,street=1 Main St,L=Springfield,"
             r"ST=Oregon,postalCode=97477,C=US,serialNumber=1234567,businessCategory=Private "
             r"Organization,jurisdictionST=Delaware,jurisdictionC=US",
             'CN=Example Software Inc., O=Example Software Inc., STREET=1 Main St, '
             'L=Springfield, S=Oregon, PostalCode=97477, C=US, SERIALNUMBER=1234567, '
             'OID.2.5.4.15=Private Organization, OID.1.3.6.1.4.1.311.60.2.1.2=Delaware, '
             'OID.1.3.6.1.4.1.311.60.2.1.3=US'),
            # An individual developer's certificate with an e-mail address.
            (r"CN=Jane Doe,O=Jane Doe,L=Berlin,C=DE,emailAddress=jane@example.org",
             "CN=Jane Doe, O=Jane Doe, L=Berlin, C=DE, E=jane@example.org"),
            # An organisation identifier and a value that needs quotes.
            (r"CN=Beispiel GmbH,O=Beispiel GmbH,organizationIdentifier=VATDE-123,"
             r"jurisdictionL=M\C3\BCnchen,OU=R\+D",
             "CN=Beispiel GmbH, O=Beispiel GmbH, OID.2.5.4.97=VATDE-123, "
             'OID.1.3.6.1.4.1.311.60.2.1.1=M\u00fcnchen, OU="R+D"'),
        ]
        for subject, windows in cases:
            with self.subTest(subject=subject):
                self.assertEqual(windows, self.publisher(subject))

    def test_a_quoted_publisher_stays_one_attribute_of_a_well_formed_manifest(self):
        publisher = 'CN=Veltrane Test, O="Veltrane Test, Inc.", C=US'
        data, _ = manifest(build("quoted", publisher))
        identity = ET.fromstring(data).find("f:Identity", NS)
        self.assertEqual(publisher, identity.get("Publisher"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
