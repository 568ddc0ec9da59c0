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
      so the same input gives the same bytes.

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
from xml.sax.saxutils import quoteattr

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
# Windows writes these attribute names in a certificate subject.
SUBJECT_NAMES = {"ST": "S"}


# --- Publisher ------------------------------------------------------------------------------

def split_rfc2253(subject):
    """The (name, value) pairs of an RFC 2253 subject, escapes undone."""
    pairs, current, escaped = [], "", False
    for c in subject:
        if escaped:
            current += c
            escaped = False
        elif c == "\\":
            escaped = True
        elif c in ",+":
            pairs.append(current)
            current = ""
        else:
            current += c
    pairs.append(current)
    return [tuple(p.split("=", 1)) for p in pairs if p]


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
    # Attribute values: quoteattr adds the quotes, the template has its own.
    for key, value in (("PUBLISHER", publisher_name), ("VERSION", version),
                       ("COMMAND_CLSID", guid), ("DLL", dll), ("EXECUTABLE", executable)):
        text = text.replace(f"@{key}@", quoteattr(value)[1:-1])
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


def add(archive, name, data):
    info = zipfile.ZipInfo(name, date_time=ZIP_DATE)
    info.compress_type = zipfile.ZIP_STORED
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
        add(archive, CONTENT_TYPES, content_types([name for name, _, _ in entries]))
    os.replace(temporary, out)


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
    args = parser.parse_args()
    if args.command == "publisher":
        print(publisher(args.subject))
    elif args.command == "stage":
        stage(args.directory, args.version, args.clsid, args.publisher, args.dll, args.executable)
    else:
        pack(args.directory, args.out)


if __name__ == "__main__":
    main()
