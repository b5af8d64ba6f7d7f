#!/usr/bin/env python3
"""sparse_package_tests.py SOURCE_DIR BUILT_PACKAGE VERSION

The Windows 11 menu package, read back independently of the script that writes it: the
manifest as XML, every file's block hashes recomputed from the archive, each deflated block
inflated on its own, content types for every file, and for certificates of several subjects
the publisher and the signature (osslsigncode verify against the certificate).
"""
import base64
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile
import zlib

SOURCE, BUILT_PACKAGE, VERSION = sys.argv[1:4]
SCRIPT = os.path.join(SOURCE, "installer", "sparse_package.py")
SIGN = os.path.join(SOURCE, "installer", "sign.sh")
sys.path.insert(0, os.path.join(SOURCE, "installer"))
import sparse_package  # noqa: E402

CLSID = "B7519896-B511-4AD6-9793-39C91847C169"
TOOLS_CLSID = "6C13E1E5-7B27-4C32-BD58-89F04DCDB02B"
MAKE_CLSID = "B737F20E-416C-4C0B-A2D5-071AF958427B"
FIRMWARE_TYPES = [".hex", ".ihex", ".s19", ".srec", ".mot", ".bin"]
NS = {
    "m": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities",
    "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "b": "http://schemas.microsoft.com/appx/2010/blockmap",
    "t": "http://schemas.openxmlformats.org/package/2006/content-types",
}
FOOTPRINT = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
EXPECTED_VERSION = ".".join((VERSION.split(".") + ["0"] * 4)[:4])

# Certificate subjects (openssl -subj) and the publisher Windows compares them with: the
# last attribute first, ", " between, S for the state, E for the e-mail address, a value
# with a separator in quotes with its quotes doubled.
SUBJECTS = [
    ("/CN=Orrelin test signing", "CN=Orrelin test signing"),
    ("/C=DE/ST=Bayern/L=M\u00fcnchen/O=Halvorn, Inc./CN=Orrelin",
     'CN=Orrelin, O="Halvorn, Inc.", L=M\u00fcnchen, S=Bayern, C=DE'),
    ('/emailAddress=fw@halvorn.example/OU=Firmware; tools/O=Say "hi"/CN=H',
     'CN=H, O="Say ""hi""", OU="Firmware; tools", E=fw@halvorn.example'),
]


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def local_header_size(archive_bytes, offset):
    signature, *_, name_length, extra_length = struct.unpack_from("<IHHHHHIIIHH", archive_bytes, offset)
    assert signature == 0x04034B50, "no local header at %d" % offset
    return 30 + name_length + extra_length


class PackageChecks:
    """Checks one package file; each failure names the part it is about."""

    def check_package(self, path, publisher, certificate=None):
        with open(path, "rb") as f:
            raw = f.read()
        archive = zipfile.ZipFile(path)
        infos = {info.filename: info for info in archive.infolist()}

        manifest = ET.fromstring(archive.read("AppxManifest.xml"))
        self.check_manifest(manifest, publisher, archive)

        # Every file but the footprint is in the block map, with its hashes, local header
        # size and, where deflated, each block's compressed size.
        block_map = ET.fromstring(archive.read("AppxBlockMap.xml"))
        self.assertEqual(block_map.get("HashMethod"), "http://www.w3.org/2001/04/xmlenc#sha256")
        listed = {}
        for entry in block_map.findall("b:File", NS):
            listed[entry.get("Name").replace("\\", "/")] = entry
        self.assertEqual(set(listed), set(infos) - FOOTPRINT)
        for name, entry in listed.items():
            with self.subTest(file=name):
                info, content = infos[name], archive.read(name)
                self.assertEqual(int(entry.get("Size")), len(content))
                self.assertEqual(int(entry.get("LfhSize")), local_header_size(raw, info.header_offset))
                blocks = entry.findall("b:Block", NS)
                self.assertEqual(len(blocks), max(1, -(-len(content) // 65536)))
                packed_start = info.header_offset + local_header_size(raw, info.header_offset)
                packed = raw[packed_start:packed_start + info.compress_size]
                position = 0
                for index, block in enumerate(blocks):
                    piece = content[index * 65536:(index + 1) * 65536]
                    self.assertEqual(block.get("Hash"), base64.b64encode(hashlib.sha256(piece).digest()).decode())
                    if info.compress_type == zipfile.ZIP_STORED:
                        self.assertIsNone(block.get("Size"))
                        continue
                    # Windows reads a deflated file block by block: each must inflate alone.
                    size = int(block.get("Size"))
                    self.assertEqual(zlib.decompressobj(-15).decompress(packed[position:position + size]), piece)
                    position += size
                if info.compress_type != zipfile.ZIP_STORED:
                    self.assertEqual(position, len(packed))

        types = ET.fromstring(archive.read("[Content_Types].xml"))
        defaults = {d.get("Extension").lower() for d in types.findall("t:Default", NS)}
        overrides = {o.get("PartName").lower() for o in types.findall("t:Override", NS)}
        for name in infos:
            with self.subTest(content_type=name):
                self.assertTrue(name.rsplit(".", 1)[-1].lower() in defaults or "/" + name.lower() in overrides)

        verify = run("osslsigncode", "verify", "-CAfile", certificate or "/dev/null", "-in", path)
        verified = verify.returncode == 0 and "Signature verification: ok" in verify.stdout
        self.assertEqual(verified, certificate is not None, verify.stdout + verify.stderr)

    def check_manifest(self, manifest, publisher, archive):
        identity = manifest.find("m:Identity", NS)
        self.assertEqual(identity.get("Name"), "Orrelin")
        self.assertEqual(identity.get("Publisher"), publisher)
        self.assertEqual(identity.get("Version"), EXPECTED_VERSION)
        self.assertEqual(manifest.findtext("m:Properties/uap10:AllowExternalContent", namespaces=NS), "true")
        capabilities = {c.get("Name") for c in manifest.findall("m:Capabilities/rescap:Capability", NS)}
        self.assertEqual(capabilities, {"runFullTrust", "unvirtualizedResources"})
        application = manifest.find("m:Applications/m:Application", NS)
        self.assertEqual(application.get("Executable"), "dfuinfo.exe")
        self.assertEqual(application.get("{%s}TrustLevel" % NS["uap10"]), "mediumIL")
        self.assertEqual(application.get("{%s}RuntimeBehavior" % NS["uap10"]), "win32App")
        visual = application.find("uap:VisualElements", NS)
        self.assertEqual(visual.get("AppListEntry"), "none")
        # Each type's verbs, by class: the download command and the tools on .dfu files,
        # "Make DFU file..." on each firmware type, and no type named twice.
        item_types = application.findall(
            "m:Extensions/desktop4:Extension/desktop4:FileExplorerContextMenus/desktop5:ItemType", NS)
        verbs = {}
        for item_type in item_types:
            self.assertNotIn(item_type.get("Type"), verbs)
            verbs[item_type.get("Type")] = [v.get("Clsid") for v in item_type.findall("desktop5:Verb", NS)]
        expected_verbs = {".dfu": [CLSID, TOOLS_CLSID]}
        expected_verbs.update({t: [MAKE_CLSID] for t in FIRMWARE_TYPES})
        self.assertEqual(verbs, expected_verbs)
        for item_type in item_types:
            ids = [v.get("Id") for v in item_type.findall("desktop5:Verb", NS)]
            self.assertEqual(len(ids), len(set(ids)), item_type.get("Type"))
        # Every class a verb names is served by the surrogate from the library, one apartment
        # thread each.
        classes = application.findall("m:Extensions/com:Extension/com:ComServer/com:SurrogateServer/com:Class", NS)
        self.assertEqual(sorted((c.get("Id"), c.get("Path"), c.get("ThreadingModel")) for c in classes),
                         sorted((clsid, "Orrelin.dll", "STA") for clsid in (CLSID, TOOLS_CLSID, MAKE_CLSID)))
        # Each image the manifest names is a PNG in the package, of the size its name says.
        images = [manifest.findtext("m:Properties/m:Logo", namespaces=NS),
                  visual.get("Square150x150Logo"), visual.get("Square44x44Logo")]
        for image in images:
            with self.subTest(image=image):
                data = archive.read(image.replace("\\", "/"))
                self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
                width, height = struct.unpack(">II", data[16:24])
                if "x" in image:
                    side = int(image.rsplit("x", 1)[1].split("Logo")[0])
                    self.assertEqual((width, height), (side, side))


class SparsePackage(PackageChecks, unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.dir = self.work.name

    def tearDown(self):
        self.work.cleanup()

    def test_built_package_is_unsigned_with_placeholder(self):
        self.check_package(BUILT_PACKAGE, "CN=Orrelin Unsigned")

    def test_signed_package_names_the_certificate_subject(self):
        for index, (subject, publisher) in enumerate(SUBJECTS):
            with self.subTest(subject=subject):
                key, cert, pfx = (os.path.join(self.dir, "%d.%s" % (index, e)) for e in ("key", "pem", "pfx"))
                made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
                           "-utf8", "-subj", subject, "-keyout", key, "-out", cert)
                self.assertEqual(made.returncode, 0, made.stderr)
                run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-passout", "pass:throwaway",
                    "-out", pfx)
                package = os.path.join(self.dir, "%d.msix" % index)
                env = dict(os.environ, ORRELIN_SIGN_PASSWORD="throwaway", ORRELIN_SIGN_PFX=pfx)
                written = run(sys.executable, SCRIPT, "--out", package, "--version", VERSION, "--certificate", pfx,
                              env=env)
                self.assertEqual(written.returncode, 0, written.stderr)
                signed = run(SIGN, package, env=env)
                self.assertEqual(signed.returncode, 0, signed.stdout + signed.stderr)
                self.check_package(package, publisher, certificate=cert)

    def test_files_of_several_blocks(self):
        # A manifest past 64 KiB, of text that does not repeat, spans several blocks.
        template_path = os.path.join(SOURCE, "installer", "AppxManifest.xml.in")
        with open(template_path, encoding="utf-8") as f:
            template = f.read()
        filler = "".join(hashlib.sha256(str(i).encode()).hexdigest() for i in range(5000))
        large = template.replace("<Properties>", "<!-- %s -->\n  <Properties>" % filler)
        package = os.path.join(self.dir, "large.msix")
        with open(package, "wb") as f:
            f.write(sparse_package.build(large, EXPECTED_VERSION, "CN=Orrelin Unsigned"))
        self.assertGreater(len(zipfile.ZipFile(package).read("AppxManifest.xml")), 3 * 65536)
        self.check_package(package, "CN=Orrelin Unsigned")

    def test_publisher_ids_match_windows(self):
        # Family names Windows gave packages of these publishers.
        for publisher, expected in [
            ("CN=Microsoft Corporation, O=Microsoft Corporation, L=Redmond, S=Washington, C=US", "8wekyb3d8bbwe"),
            ("CN=Microsoft Windows, O=Microsoft Corporation, L=Redmond, S=Washington, C=US", "cw5n1h2txyewy"),
        ]:
            with self.subTest(publisher=publisher):
                self.assertEqual(sparse_package.publisher_id(publisher), expected)

    def test_bad_input_is_refused_and_nothing_written(self):
        garbage = os.path.join(self.dir, "garbage.pem")
        with open(garbage, "wb") as f:
            f.write(b"-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n")
        for arguments, message in [
            (["--version", "2.4.70000"], "version"),
            (["--version", "2.4.x"], "version"),
            (["--version", VERSION, "--certificate", garbage], "certificate"),
            (["--version", VERSION, "--certificate", os.path.join(self.dir, "absent.pem")], "absent.pem"),
        ]:
            with self.subTest(arguments=arguments):
                package = os.path.join(self.dir, "refused.msix")
                result = run(sys.executable, SCRIPT, "--out", package, *arguments)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(package))
                self.assertEqual([n for n in os.listdir(self.dir) if n.startswith("tmp")], [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
