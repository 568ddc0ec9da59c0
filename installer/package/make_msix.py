#!/usr/bin/env python3
"""Builds Veltrane's sparse MSIX package: the manifest, its logos, and the package file.

  make_msix.py publisher [SUBJECT]
      The package publisher: SUBJECT (a certificate subject as `openssl x509 -subject
      -nameopt RFC2253` prints it, "subject=" optional) in the form Windows compares with
      the signing certificate; without SUBJECT the form Windows accepts for unsigned
      packages (its special OID).
  make_msix.py stage DIR --version A.B.C.D --clsid {GUID} --publisher P [--dll PATH]
                         [--executable PATH]
      Writes DIR/AppxManifest.xml and DIR/Assets/*.png.
  make_msix.py pack DIR OUT.msix
      Packs every file under DIR into OUT.msix with AppxBlockMap.xml and
      [Content_Types].xml. Files are stored uncompressed, in name order, with a fixed date,
      so the same input gives the same bytes. [Content_Types].xml alone is deflated:
      osslsigncode rewrites that entry deflated when it signs, and keeps the method the
      entry had, so a stored one would be left with compressed bytes marked as stored.
  make_msix.py check PACKAGE.msix
      Says what is wrong with a package (before or after signing): an entry whose bytes do
      not match its CRC, a payload file that is compressed, missing from the block map or
      whose size or block hashes differ from it. Exit status 1 when anything is.

Only the standard library: the package format is a ZIP file, a block map (the SHA-256 of
every 64 KiB block of every file, in base64) and a content-types list.
"""
import argparse
import base64
import hashlib
import os
import re
import struct
import sys
import zipfile
import zlib
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "res"))
from make_menu_bitmap import HEIGHT, PICTURE, WIDTH  # noqa: E402

BLOCK_SIZE = 64 * 1024
ZIP_DATE = (1980, 1, 1, 0, 0, 0)
BLOCKMAP = "AppxBlockMap.xml"
CONTENT_TYPES = "[Content_Types].xml"
UNSIGNED_PUBLISHER = "CN=Veltrane, OID.2.25.311729368913984317654407730594956997722=1"
CONTENT_TYPE_BY_EXTENSION = {
    "png": "image/png",
    "xml": "application/xml",
    "dll": "application/x-msdownload",
    "exe": "application/x-msdownload",
}
# Logo files the manifest names, with their size in pixels.
LOGOS = {"StoreLogo.png": 50, "Square150x150Logo.png": 150, "Square44x44Logo.png": 44}
# OpenSSL's attribute names (RFC 2253 output) as Windows writes them in a certificate
# subject, which is what it compares a package's Publisher with. The names Windows has no
# short form for are written as OID.<dotted number>; the same names are kept as they are.
SUBJECT_NAMES = {
    "ST": "S",
    "emailAddress": "E",
    "serialNumber": "SERIALNUMBER",
    "street": "STREET",
    "title": "T",
    "givenName": "G",
    "initials": "I",
    "postalCode": "PostalCode",
    "businessCategory": "OID.2.5.4.15",
    "jurisdictionC": "OID.1.3.6.1.4.1.311.60.2.1.3",
    "jurisdictionST": "OID.1.3.6.1.4.1.311.60.2.1.2",
    "jurisdictionL": "OID.1.3.6.1.4.1.311.60.2.1.1",
    "organizationIdentifier": "OID.2.5.4.97",
    "UID": "OID.0.9.2342.19200300.100.1.1",
}


# --- Publisher ------------------------------------------------------------------------------

def split_rfc2253(subject):
    """The (name, value) pairs of an RFC 2253 subject, escapes undone: "\\," is a comma,
    "\\C3\\BC" the bytes of a UTF-8 character (OpenSSL escapes what is not ASCII so)."""
    pairs, current, i = [], b"", 0
    while i < len(subject):
        c = subject[i]
        if c == "\\" and re.fullmatch(r"[0-9A-Fa-f]{2}", subject[i + 1:i + 3]):
            current += bytes.fromhex(subject[i + 1:i + 3])
            i += 3
            continue
        if c == "\\" and i + 1 < len(subject):
            current += subject[i + 1].encode("utf-8")
            i += 2
            continue
        if c in ",+":
            pairs.append(current)
            current = b""
        else:
            current += c.encode("utf-8")
        i += 1
    pairs.append(current)
    return [tuple(p.decode("utf-8", "replace").split("=", 1)) for p in pairs if p]


def publisher(subject=None):
    if not subject:
        return UNSIGNED_PUBLISHER
    subject = re.sub(r"^\s*subject\s*=\s*", "", subject.strip())
    parts = []
    for name, value in split_rfc2253(subject):
        name = SUBJECT_NAMES.get(name.strip(), name.strip())
        if re.search(r'[,+="<>#;\n]', value) or value != value.strip():
            value = '"' + value.replace('"', '""') + '"'
        parts.append(f"{name}={value}")
    return ", ".join(parts)


# --- Stage: manifest and logos ----------------------------------------------------------------

def png(size):
    """The menu picture, scaled by a whole factor and centred, on a transparent square."""
    scale = max(1, size // 16)
    left, top = (size - WIDTH * scale) // 2, (size - HEIGHT * scale) // 2
    rows = []
    for y in range(size):
        row = bytearray(b"\0")  # filter: none
        for x in range(size):
            px, py = (x - left) // scale, (y - top) // scale
            inside = x >= left and y >= top and px < WIDTH and py < HEIGHT
            if not inside:
                row += b"\0\0\0\0"
            elif PICTURE[py][px] == "X":
                row += b"\xff\0\0\xff"
            else:
                row += b"\xff\xff\xff\xff"
        rows.append(bytes(row))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def stage(directory, version, clsid, publisher_name, dll, executable):
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", version):
        sys.exit(f"version {version!r} is not A.B.C.D")
    guid = clsid.strip("{}").upper()
    if not re.fullmatch(r"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}", guid):
        sys.exit(f"class identifier {clsid!r} is not a GUID")
    with open(os.path.join(HERE, "AppxManifest.xml.in"), encoding="utf-8") as f:
        text = f.read()
    # Attribute values between the template's double quotes: a publisher such as
    # O="Example, Inc." holds double quotes of its own, which must become &quot;.
    for key, value in (("PUBLISHER", publisher_name), ("VERSION", version),
                       ("COMMAND_CLSID", guid), ("DLL", dll), ("EXECUTABLE", executable)):
        text = text.replace(f"@{key}@", escape(value, {'"': "&quot;"}))
    if "@" in re.sub(r"<!--.*?-->", "", text, flags=re.S):
        sys.exit("a placeholder of the manifest template was left unfilled")
    os.makedirs(os.path.join(directory, "Assets"), exist_ok=True)
    with open(os.path.join(directory, "AppxManifest.xml"), "w", encoding="utf-8",
              newline="\r\n") as f:
        f.write(text)
    for name, size in LOGOS.items():
        with open(os.path.join(directory, "Assets", name), "wb") as f:
            f.write(png(size))


# --- Pack -----------------------------------------------------------------------------------

def payload(directory):
    """(name in the package with '/', full path) of every file under directory, by name."""
    files = []
    for root, _, names in os.walk(directory):
        for name in names:
            full = os.path.join(root, name)
            files.append((os.path.relpath(full, directory).replace(os.sep, "/"), full))
    reserved = {BLOCKMAP.lower(), CONTENT_TYPES.lower(), "appxsignature.p7x"}
    for name, _ in files:
        if name.lower() in reserved:
            sys.exit(f"{name} is written by the packer itself")
    if "AppxManifest.xml" not in (name for name, _ in files):
        sys.exit(f"{directory} has no AppxManifest.xml")
    return sorted(files, key=lambda f: f[0].lower())


def block_hashes(data):
    return [base64.b64encode(hashlib.sha256(data[i:i + BLOCK_SIZE]).digest()).decode()
            for i in range(0, len(data), BLOCK_SIZE)]


def block_map(entries):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
             'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data, header_size in entries:
        lines.append(f'<File Name={quoteattr(name.replace("/", chr(92)))} Size="{len(data)}" '
                     f'LfhSize="{header_size}">')
        # Stored uncompressed: a block has its hash only, no compressed size.
        lines += [f'<Block Hash="{h}"/>' for h in block_hashes(data)]
        lines.append("</File>")
    lines.append("</BlockMap>")
    return "\r\n".join(lines).encode("utf-8")


def content_types(names):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    extensions = sorted({n.rsplit(".", 1)[1].lower() for n in names
                         if "." in n.rsplit("/", 1)[-1] and n != "AppxManifest.xml"})
    for extension in extensions:
        kind = CONTENT_TYPE_BY_EXTENSION.get(extension, "application/octet-stream")
        lines.append(f'<Default Extension={quoteattr(extension)} ContentType="{kind}"/>')
    lines.append('<Override PartName="/AppxManifest.xml" '
                 'ContentType="application/vnd.ms-appx.manifest+xml"/>')
    lines.append('<Override PartName="/AppxBlockMap.xml" '
                 'ContentType="application/vnd.ms-appx.blockmap+xml"/>')
    lines.append("</Types>")
    return "\r\n".join(lines).encode("utf-8")


def local_header_size(info):
    # Signature to extra-field length is 30 bytes; then the name and the extra field.
    name = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "ascii")
    return 30 + len(name) + len(info.extra)


def add(archive, name, data, compress=False):
    info = zipfile.ZipInfo(name, date_time=ZIP_DATE)
    info.compress_type = zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED
    info.external_attr = 0
    archive.writestr(info, data)
    return local_header_size(info)


def pack(directory, out):
    files = payload(directory)
    temporary = out + ".part"
    entries = []
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, full in files:
            with open(full, "rb") as f:
                data = f.read()
            entries.append((name, data, add(archive, name, data)))
        add(archive, BLOCKMAP, block_map(entries))
        add(archive, CONTENT_TYPES, content_types([name for name, _, _ in entries]),
            compress=True)
    os.replace(temporary, out)
    bad = problems(out)
    if bad:
        sys.exit(f"{out}: " + "; ".join(bad))


def problems(path):
    """What is wrong with the package at `path`, as sentences; empty when it is sound."""
    import xml.etree.ElementTree as ET
    found = []
    try:
        archive = zipfile.ZipFile(path)
    except (OSError, zipfile.BadZipFile) as e:
        return [f"not a ZIP file ({e})"]
    with archive:
        try:
            broken = archive.testzip()
        except (zipfile.BadZipFile, zlib.error, NotImplementedError) as e:
            broken = f"? ({e})"
        if broken:
            found.append(f"{broken} does not match its CRC")
        infos = {i.filename: i for i in archive.infolist()}
        if BLOCKMAP not in infos:
            return found + ["no block map"]
        ns = {"bm": "http://schemas.microsoft.com/appx/2010/blockmap"}
        listed = {}
        for entry in ET.fromstring(archive.read(BLOCKMAP)).findall("bm:File", ns):
            listed[entry.get("Name").replace(chr(92), "/")] = entry
        skip = {BLOCKMAP, CONTENT_TYPES, "AppxSignature.p7x"}
        for name, info in infos.items():
            if name in skip:
                continue
            if info.compress_type != zipfile.ZIP_STORED:
                found.append(f"{name} is compressed")
            entry = listed.pop(name, None)
            if entry is None:
                found.append(f"{name} is not in the block map")
                continue
            if broken:
                continue
            data = archive.read(name)
            if int(entry.get("Size")) != len(data):
                found.append(f"{name}: the block map says {entry.get('Size')} bytes, it has "
                             f"{len(data)}")
            hashes = [b.get("Hash") for b in entry.findall("bm:Block", ns)]
            if hashes != block_hashes(data):
                found.append(f"{name}: its blocks do not match the block map")
        for name in listed:
            found.append(f"the block map lists {name}, which the package does not hold")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("publisher")
    p.add_argument("subject", nargs="?")
    s = commands.add_parser("stage")
    s.add_argument("directory")
    s.add_argument("--version", required=True)
    s.add_argument("--clsid", required=True)
    s.add_argument("--publisher", required=True)
    s.add_argument("--dll", default="x64\\veltrane.dll")
    s.add_argument("--executable", default="x64\\veltrane.exe")
    k = commands.add_parser("pack")
    k.add_argument("directory")
    k.add_argument("out")
    c = commands.add_parser("check")
    c.add_argument("package")
    args = parser.parse_args()
    if args.command == "publisher":
        print(publisher(args.subject))
    elif args.command == "stage":
        stage(args.directory, args.version, args.clsid, args.publisher, args.dll, args.executable)
    elif args.command == "check":
        bad = problems(args.package)
        for line in bad:
            print(f"{args.package}: {line}")
        sys.exit(1 if bad else 0)
    else:
        pack(args.directory, args.out)


if __name__ == "__main__":
    main()
