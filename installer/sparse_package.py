#!/usr/bin/env python3
"""Writes the package that gives Orrelin's download command package identity, so that
Windows 11 shows it in Explorer's first context menu.

The package holds metadata only: the manifest, the logo images, the block map and the
content types. Its external location is the install folder, where the DLLs already are.

  sparse_package.py --out PACKAGE --version X.Y.Z[.W] [--manifest TEMPLATE]
                    [--certificate CERT] [--family-out FILE]

CERT is a certificate in PEM or DER form, or a PKCS #12 file whose password is in the
environment variable ORRELIN_SIGN_PASSWORD; its subject becomes the package's publisher,
which Windows requires to equal the signer's. Without it the publisher is a placeholder
and the package is for inspection only. Signing is left to the caller (osslsigncode).
The package family name, which the setup program needs to remove the package again, is
printed and, with --family-out, written to FILE.
"""

import argparse
import base64
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import zlib

PLACEHOLDER_PUBLISHER = "CN=Orrelin Unsigned"
BLOCK_SIZE = 64 * 1024
# The images the manifest names, with their sizes in pixels.
LOGOS = {
    "Assets/StoreLogo.png": 50,
    "Assets/Square44x44Logo.png": 44,
    "Assets/Square150x150Logo.png": 150,
}
CONTENT_TYPES = {
    "png": "image/png",
    "xml": "application/vnd.ms-appx.manifest+xml",
}
BLOCK_MAP_TYPE = "application/vnd.ms-appx.blockmap+xml"


class PackageError(Exception):
    pass


# ---- The publisher, from the certificate --------------------------------------------------

# Attribute types as Windows writes them in a distinguished name; others go by OID.
ATTRIBUTE_NAMES = {
    "2.5.4.3": "CN", "2.5.4.7": "L", "2.5.4.10": "O", "2.5.4.11": "OU", "2.5.4.6": "C",
    "2.5.4.8": "S", "2.5.4.9": "STREET", "2.5.4.12": "T", "2.5.4.42": "G", "2.5.4.43": "I",
    "2.5.4.4": "SN", "2.5.4.5": "SERIALNUMBER", "2.5.4.13": "Description",
    "2.5.4.17": "PostalCode", "2.5.4.18": "POBox", "2.5.4.20": "Phone",
    "2.5.4.46": "dnQualifier", "1.2.840.113549.1.9.1": "E",
    "0.9.2342.19200300.100.1.25": "DC",
}


def read_tlv(data, offset):
    """One DER element at offset: (tag, start of contents, end of contents)."""
    if offset + 2 > len(data):
        raise PackageError("certificate: truncated DER")
    tag, length = data[offset], data[offset + 1]
    offset += 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or offset + count > len(data):
            raise PackageError("certificate: bad DER length")
        length = int.from_bytes(data[offset:offset + count], "big")
        offset += count
    if offset + length > len(data):
        raise PackageError("certificate: truncated DER")
    return tag, offset, offset + length


def children(data, start, end):
    items = []
    while start < end:
        tag, body, stop = read_tlv(data, start)
        items.append((tag, body, stop))
        start = stop
    return items


def decode_oid(raw):
    parts, value = [], 0
    for byte in raw:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            parts.append(value)
            value = 0
    first = min(parts[0] // 40, 2)
    return ".".join(str(p) for p in [first, parts[0] - 40 * first] + parts[1:])


def decode_string(tag, raw):
    if tag == 0x1E:
        return raw.decode("utf-16-be")
    if tag == 0x1C:
        return raw.decode("utf-32-be")
    if tag == 0x14:
        return raw.decode("latin-1")
    return raw.decode("utf-8")


def quote_value(value):
    # Windows quotes a value that holds a separator or starts or ends with a blank, and
    # doubles the quotes inside it; the manifest's publisher pattern accepts only that.
    if value == "" or any(c in value for c in ',+="<>#;\r\n') or value != value.strip():
        return '"' + value.replace('"', '""') + '"'
    return value


def subject_from_der(der):
    """The subject of a DER certificate as Windows writes it: the last attribute first,
    "T=value" joined by ", "."""
    _, cert_body, cert_end = read_tlv(der, 0)
    _, tbs_body, tbs_end = children(der, cert_body, cert_end)[0]
    fields = children(der, tbs_body, tbs_end)
    if fields and fields[0][0] == 0xA0:  # explicit version
        fields = fields[1:]
    if len(fields) < 5:
        raise PackageError("certificate: no subject")
    _, name_body, name_end = fields[4]
    parts = []
    for _, set_body, set_end in children(der, name_body, name_end):
        attributes = children(der, set_body, set_end)
        if len(attributes) != 1:
            raise PackageError("certificate: a subject with multi-valued names is not supported")
        _, pair_body, pair_end = attributes[0]
        (_, oid_body, oid_end), (value_tag, value_body, value_end) = children(der, pair_body, pair_end)[:2]
        oid = decode_oid(der[oid_body:oid_end])
        name = ATTRIBUTE_NAMES.get(oid, "OID." + oid)
        parts.append(name + "=" + quote_value(decode_string(value_tag, der[value_body:value_end])))
    if not parts:
        raise PackageError("certificate: empty subject")
    return ", ".join(reversed(parts))


def certificate_der(path):
    with open(path, "rb") as f:
        data = f.read()
    if path.lower().endswith((".pfx", ".p12")):
        pem = subprocess.run(
            ["openssl", "pkcs12", "-in", path, "-nokeys", "-clcerts", "-passin", "env:ORRELIN_SIGN_PASSWORD"],
            env=dict(os.environ, ORRELIN_SIGN_PASSWORD=os.environ.get("ORRELIN_SIGN_PASSWORD", "")),
            capture_output=True)
        if pem.returncode != 0:
            raise PackageError("cannot read the certificate in %s: %s" % (path, pem.stderr.decode(errors="replace").strip()))
        data = pem.stdout
    if b"-----BEGIN CERTIFICATE-----" in data:
        body = data.split(b"-----BEGIN CERTIFICATE-----", 1)[1].split(b"-----END CERTIFICATE-----", 1)[0]
        return base64.b64decode(b"".join(body.split()))
    return data


# ---- Identity -----------------------------------------------------------------------------

def publisher_id(publisher):
    """The 13 characters Windows derives from the publisher for the package family name."""
    digest = hashlib.sha256(publisher.encode("utf-16-le")).digest()[:8]
    bits = int.from_bytes(digest, "big") << 1  # 64 bits padded to 65, five at a time
    alphabet = "0123456789abcdefghjkmnpqrstvwxyz"
    return "".join(alphabet[(bits >> (60 - 5 * i)) & 0x1F] for i in range(13))


def four_part_version(version):
    parts = version.split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isdigit() and int(p) <= 65535 for p in parts):
        raise PackageError("version %r is not up to four numbers of at most 65535" % version)
    return ".".join(str(int(p)) for p in parts + ["0"] * (4 - len(parts)))


def xml_attribute(value):
    return (value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


# ---- Images -------------------------------------------------------------------------------

def png(size):
    """A square logo: a white arrow pointing down into a bar, on the product's blue."""
    background, foreground = (0x1F, 0x5F, 0xA8, 0xFF), (0xFF, 0xFF, 0xFF, 0xFF)
    rows = []
    for y in range(size):
        row = bytearray(b"\0")  # filter: none
        for x in range(size):
            u, v = (x + 0.5) / size, (y + 0.5) / size
            stem = 0.42 <= u <= 0.58 and 0.18 <= v <= 0.55
            head = 0.55 <= v <= 0.72 and abs(u - 0.5) <= (0.72 - v) * 1.3
            bar = 0.78 <= v <= 0.84 and 0.25 <= u <= 0.75
            row += bytes(foreground if stem or head or bar else background)
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


# ---- The package file ---------------------------------------------------------------------

def deflate_blocks(data):
    """Each 64 KiB block compressed on its own (a full flush after it), as the block map
    gives each block's compressed size: (compressed bytes, [compressed size per block])."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    out, sizes = bytearray(), []
    blocks = [data[i:i + BLOCK_SIZE] for i in range(0, len(data), BLOCK_SIZE)] or [b""]
    for index, block in enumerate(blocks):
        last = index == len(blocks) - 1
        piece = compressor.compress(block) + compressor.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH)
        out += piece
        sizes.append(len(piece))
    return bytes(out), sizes


class ZipWriter:
    """A plain ZIP: local headers carrying their sizes (no data descriptors), fixed times,
    ASCII names, no ZIP64 (the package is a few kilobytes)."""

    DOS_TIME, DOS_DATE = 0, (0 << 9) | (1 << 5) | 1  # 1980-01-01 00:00, so builds compare

    def __init__(self):
        self.data = bytearray()
        self.entries = []

    def add(self, name, content, deflate):
        raw_name = name.encode("ascii")
        if deflate:
            stored, block_sizes = deflate_blocks(content)
        else:
            stored, block_sizes = content, None
        method = 8 if deflate else 0
        crc = zlib.crc32(content)
        offset = len(self.data)
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, self.DOS_TIME, self.DOS_DATE, crc,
                            len(stored), len(content), len(raw_name), 0) + raw_name
        self.data += local + stored
        self.entries.append((raw_name, method, crc, len(stored), len(content), offset))
        return len(local), block_sizes

    def finish(self):
        directory = bytearray()
        for raw_name, method, crc, packed, size, offset in self.entries:
            directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, self.DOS_TIME,
                                     self.DOS_DATE, crc, packed, size, len(raw_name), 0, 0, 0, 0, 0,
                                     offset) + raw_name
        start = len(self.data)
        self.data += directory
        self.data += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(self.entries), len(self.entries),
                                 len(directory), start, 0)
        return bytes(self.data)


def block_map_entry(name, content, lfh_size, block_sizes):
    lines = ['  <File Name="%s" Size="%d" LfhSize="%d">' % (xml_attribute(name.replace("/", "\\")), len(content),
                                                           lfh_size)]
    for index in range(0, max(len(content), 1), BLOCK_SIZE):
        block = content[index:index + BLOCK_SIZE]
        if not block and content:
            break
        digest = base64.b64encode(hashlib.sha256(block).digest()).decode("ascii")
        size = "" if block_sizes is None else ' Size="%d"' % block_sizes[index // BLOCK_SIZE]
        lines.append('    <Block Hash="%s"%s/>' % (digest, size))
    lines.append("  </File>")
    return lines


def build(manifest_template, version, publisher):
    manifest = (manifest_template.replace("@PACKAGE_VERSION@", version)
                .replace("@PACKAGE_PUBLISHER@", xml_attribute(publisher))).encode("utf-8")
    if b"@PACKAGE_" in manifest:
        raise PackageError("the manifest template names a value this script does not know")
    # The footprint files, each deflated or stored as the block map then records.
    files = [(name, png(size), False) for name, size in sorted(LOGOS.items())]
    files.append(("AppxManifest.xml", manifest, True))
    archive = ZipWriter()
    block_map = ['<?xml version="1.0" encoding="UTF-8"?>',
                 '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
                 'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, content, deflate in files:
        lfh_size, block_sizes = archive.add(name, content, deflate)
        block_map += block_map_entry(name, content, lfh_size, block_sizes)
    block_map.append("</BlockMap>")
    archive.add("AppxBlockMap.xml", ("\r\n".join(block_map) + "\r\n").encode("utf-8"), True)
    types = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    types += ['  <Default Extension="%s" ContentType="%s"/>' % item for item in sorted(CONTENT_TYPES.items())]
    types.append('  <Override PartName="/AppxBlockMap.xml" ContentType="%s"/>' % BLOCK_MAP_TYPE)
    types.append("</Types>")
    archive.add("[Content_Types].xml", ("\r\n".join(types) + "\r\n").encode("utf-8"), True)
    return archive.finish()


def identity_name(manifest_template):
    marker = '<Identity Name="'
    start = manifest_template.find(marker)
    if start < 0:
        raise PackageError("the manifest template has no Identity Name")
    start += len(marker)
    return manifest_template[start:manifest_template.index('"', start)]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--manifest", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                           "AppxManifest.xml.in"))
    parser.add_argument("--certificate")
    parser.add_argument("--family-out")
    args = parser.parse_args(argv)
    try:
        with open(args.manifest, encoding="utf-8") as f:
            template = f.read()
        publisher = subject_from_der(certificate_der(args.certificate)) if args.certificate else PLACEHOLDER_PUBLISHER
        package = build(template, four_part_version(args.version), publisher)
        family = identity_name(template) + "_" + publisher_id(publisher)
        # Written whole beside the target and then moved over it, so a failed build never
        # leaves half a package where the setup program looks for one.
        folder = os.path.dirname(os.path.abspath(args.out))
        with tempfile.NamedTemporaryFile(dir=folder, delete=False) as f:
            f.write(package)
        os.replace(f.name, args.out)
        if args.family_out:
            with open(args.family_out, "w", encoding="ascii") as f:
                f.write(family + "\n")
    except (OSError, PackageError, ValueError) as error:
        print("sparse_package: %s" % error, file=sys.stderr)
        return 1
    print("%s (publisher %s, family %s)" % (args.out, publisher, family))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
