#!/usr/bin/env python3
"""make_layouts.py OUTDIR: writes .dfu files with known targets and elements, one for each
verdict and each structural finding, and OUTDIR/manifest.json with what dfuinfo --json must
say about each. Where dfu-util's tools are installed, also files written by dfuse-pack,
dfu-suffix and dfu-prefix, whose expected layout comes from the tools' own reports."""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

TARGET_PREFIX = 274


def le32(value):
    return struct.pack('<I', value)


def stored_crc(data):
    return zlib.crc32(data) ^ 0xFFFFFFFF


def with_suffix(body, vendor=0x0483, product=0xDF11, release=0x0200, dfu=0x011A, length=16, signature=b'UFD'):
    data = body + struct.pack('<HHHH', release, product, vendor, dfu) + signature + bytes([length])
    return data + le32(stored_crc(data))


def suffix_of(data, read_through=True):
    release, product, vendor, dfu = struct.unpack('<HHHH', data[-16:-8])
    fields = {'dfuVersion': dfu, 'vendor': vendor, 'product': product, 'release': release,
              'length': data[-5], 'storedCrc': struct.unpack('<I', data[-4:])[0]}
    if read_through:
        fields['computedCrc'] = stored_crc(data[:-4])
    return fields


def pattern(count, seed):
    return bytes((i * 31 + seed * 7) & 0xFF for i in range(count))


class Target:
    def __init__(self, alt, name=b'', named=None, elements=(), size=None, count=None, padding=0):
        self.alt, self.name, self.elements = alt, name, list(elements)
        self.named = bool(name) if named is None else named
        self.size, self.count, self.padding = size, count, padding


def image(targets, version=1, stated_targets=None, image_size=None, tail=b''):
    """A DfuSe image and the layout the reader must find when every target is as stated.
    image_size: None states the whole file (suffix included, as dfuse-pack does), 'image'
    the image alone, a number that number."""
    out = bytearray(b'DfuSe' + bytes([version]) + le32(0))
    out.append(len(targets) if stated_targets is None else stated_targets)
    layout = []
    for index, target in enumerate(targets):
        offset = len(out)
        elements, found = bytearray(), []
        for address, data in target.elements:
            header = offset + TARGET_PREFIX + len(elements)
            elements += le32(address) + le32(len(data)) + data
            found.append({'address': address, 'size': len(data), 'end': address + len(data),
                          'dataOffset': header + 8})
        elements += bytes(target.padding)
        stored_name = target.name[:255].ljust(255, b'\0')
        size = len(elements) if target.size is None else target.size
        count = len(target.elements) if target.count is None else target.count
        out += b'Target' + bytes([target.alt]) + le32(1 if target.named else 0) + stored_name
        out += le32(size) + le32(count) + elements
        name = target.name[:255].split(b'\0')[0]
        layout.append({'alternateSetting': target.alt, 'named': target.named,
                       'name': name.decode('cp1252'), 'nameBytes': name.hex(), 'offset': offset,
                       'statedSize': size, 'statedElementCount': count, 'elementCount': len(found),
                       'elements': found})
    out += tail
    stated = {None: len(out) + 16, 'image': len(out)}.get(image_size, image_size)
    out[6:10] = le32(stated)
    dfuse = {'version': version, 'imageSize': stated, 'targetCount': out[10], 'targets': layout}
    return bytes(out), dfuse


def finding(kind, target=None, element=None, other=None, stated=0, actual=0):
    return {'kind': kind, 'target': target, 'element': element, 'otherElement': other,
            'stated': stated, 'actual': actual}


def expect(data, verdict='valid', dfuse=None, findings=(), unlisted=0, lpc=None, suffix=True):
    expected = {'verdict': verdict, 'valid': verdict == 'valid', 'fileSize': len(data),
                'dfuse': dfuse, 'findings': list(findings), 'unlistedFindings': unlisted}
    if suffix:
        expected['suffix'] = suffix_of(data, verdict in ('valid', 'crcMismatch'))
    else:
        expected['suffix'] = None
    if lpc is not None:
        expected['lpcPrefix'] = lpc
    return expected


def dfuse_file(targets, findings=(), **options):
    body, dfuse = image(targets, **options)
    data = with_suffix(body)
    return data, expect(data, dfuse=dfuse, findings=findings)


def layouts():
    """name -> (bytes, expected)"""
    files = {}
    flash = Target(0, b'Internal Flash', elements=[(0x08000000, pattern(1024, 1)), (0x08004000, pattern(300, 2))])
    system = Target(1, elements=[(0x1FFF0000, pattern(64, 3))])
    files['two-targets.dfu'] = dfuse_file([flash, system])
    files['unnamed.dfu'] = dfuse_file([Target(0, elements=[(0x08000000, pattern(256, 4))]),
                                       Target(2, b'old', named=False, elements=[(0x20000000, pattern(16, 5))])])
    files['empty-target.dfu'] = dfuse_file([Target(0, b'Empty'), Target(1, b'Flash', elements=[(0x08000000, b'x' * 32)])])
    files['image-size-without-suffix.dfu'] = dfuse_file([system], image_size='image')
    files['names.dfu'] = dfuse_file([Target(0, b'Q"uo\\te\x01\x1f\t\xe9\x80\xff/</', elements=[(0x0, b'a')]),
                                     Target(1, b'N' * 255, elements=[(0x1000, b'b')])])

    body, dfuse = image([system], image_size=12345)
    data = with_suffix(body)
    files['image-size-lies.dfu'] = (data, expect(data, dfuse=dfuse, findings=[
        finding('imageSize', stated=12345, actual=len(data))]))

    files['overlap.dfu'] = dfuse_file(
        [Target(0, elements=[(0x08000000, pattern(0x200, 6)), (0x08000100, pattern(0x100, 7)),
                             (0x08001000, pattern(0x10, 8))]),
         Target(1, elements=[(0x08000000, pattern(0x10, 9))])],
        findings=[finding('elementsOverlap', 0, 0, 1)])

    files['empty-element.dfu'] = dfuse_file([Target(0, elements=[(0x08000000, b''), (0x08000000, b'z' * 16)])],
                                            findings=[finding('emptyElement', 0, 0)])

    body, dfuse = image([Target(0, elements=[(0x08000000, pattern(100, 10))], size=50)])
    target_end = 11 + TARGET_PREFIX + 50
    data = with_suffix(body)
    files['element-overruns-target.dfu'] = (data, expect(data, dfuse=dfuse, findings=[
        finding('elementOverrunsTarget', 0, 0, stated=11 + TARGET_PREFIX + 108, actual=target_end),
        finding('trailingBytes', stated=len(body), actual=target_end)]))

    body, dfuse = image([Target(0, elements=[(0x08000000, pattern(64, 11))], size=8 + 0x10000)])
    header = 11 + TARGET_PREFIX
    body = body[:header + 4] + le32(0x10000) + body[header + 8:]
    dfuse['targets'][0]['elements'][0].update(size=0x10000, end=0x08010000)
    data = with_suffix(body)
    files['element-overruns-image.dfu'] = (data, expect(data, dfuse=dfuse, findings=[
        finding('targetOverrunsImage', 0, stated=header + 8 + 0x10000, actual=len(body)),
        finding('elementOverrunsImage', 0, 0, stated=header + 8 + 0x10000, actual=len(body))]))

    files['elements-stated-4g.dfu'] = dfuse_file(
        [Target(0, elements=[(0x08000000, pattern(16, 12))], count=0xFFFFFFFF)],
        findings=[finding('elementsMissing', 0, stated=0xFFFFFFFF, actual=1)])

    files['targets-stated-255.dfu'] = dfuse_file(
        [Target(0, b'Real', elements=[(0x08000000, pattern(40, 13))])], stated_targets=255,
        tail=b'\xa5' * 600, findings=[finding('targetsMissing', stated=255, actual=1)])

    files['target-slack.dfu'] = dfuse_file(
        [Target(0, elements=[(0x08000000, pattern(32, 14))], padding=16)],
        findings=[finding('targetSlack', 0, stated=11 + TARGET_PREFIX + 56, actual=11 + TARGET_PREFIX + 40)])

    body, dfuse = image([Target(0, elements=[(0x08000000 + i, b'\x00') for i in range(20000)])])
    dfuse['targets'][0]['elements'] = dfuse['targets'][0]['elements'][:16384]
    data = with_suffix(body)
    files['elements-past-listing.dfu'] = (data, expect(data, dfuse=dfuse, findings=[
        finding('elementsNotListed', stated=16384, actual=20000 - 16384)]))

    files['findings-past-listing.dfu'] = dfuse_file(
        [Target(0, elements=[(0x08000000, b'')] * 300)],
        findings=[finding('emptyElement', 0, i) for i in range(256)])
    files['findings-past-listing.dfu'][1]['unlistedFindings'] = 44

    data = with_suffix(b'no DfuSe prefix here, only bytes' * 4)
    files['dfuse-version-without-image.dfu'] = (data, expect(data, findings=[finding('noDfuSePrefix')]))
    body, _ = image([system], version=2)
    data = with_suffix(body)
    files['dfuse-image-version-2.dfu'] = (data, expect(data, findings=[
        finding('unknownDfuSeVersion', stated=2, actual=1)]))

    # One file for each verdict.
    plain = with_suffix(pattern(500, 15), 0x1D50, 0x6017, 0x0042, dfu=0x0100)
    files['plain.dfu'] = (plain, expect(plain))
    unstated = with_suffix(pattern(200, 18), 0xFFFF, 0xFFFF, 0xFFFF, dfu=0x0100)
    files['unstated-numbers.dfu'] = (unstated, expect(unstated))
    files['empty.dfu'] = (b'', expect(b'', 'tooShort', suffix=False))
    files['too-short.dfu'] = (plain[-15:], expect(plain[-15:], 'tooShort', suffix=False))
    files['no-suffix.dfu'] = (pattern(500, 15), expect(pattern(500, 15), 'noSuffix', suffix=False))
    data = with_suffix(pattern(100, 16), dfu=0x0200)
    files['unknown-dfu-version.dfu'] = (data, expect(data, 'unknownDfuVersion'))
    for name, length in (('suffix-length-15.dfu', 15), ('suffix-length-beyond-file.dfu', 200)):
        data = with_suffix(pattern(100, 17), dfu=0x0100, length=length)
        files[name] = (data, expect(data, 'badSuffixLength'))
    damaged, dfuse = files['two-targets.dfu'][0], files['two-targets.dfu'][1]['dfuse']
    damaged = damaged[:700] + bytes([damaged[700] ^ 0x10]) + damaged[701:]
    files['crc-mismatch.dfu'] = (damaged, expect(damaged, 'crcMismatch', dfuse=dfuse, lpc=False))
    lpc = bytes([0x1A, 0x3F]) + bytes(14) + plain
    files['lpc-prefix.dfu'] = (lpc, expect(lpc, 'crcMismatch', lpc=True))
    return files


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def dfuse_pack_file(out):
    """A file dfuse-pack writes from three binaries, and its layout from dfuse-pack -d."""
    with tempfile.TemporaryDirectory() as work:
        bins = [('0x08000000', 'a.bin', 700), ('0x1FFF0000@1', 'b.bin', 48), ('0x08010000@0', 'c.bin', 20)]
        command = ['dfuse-pack']
        for at, name, size in bins:
            with open(os.path.join(work, name), 'wb') as f:
                f.write(pattern(size, size))
            command += ['-b', at + ':' + name]
        command += ['-D', '0x0483:0xdf11', 'packed.dfu']
        if run(command, work).returncode != 0:
            return None
        dump = run(['dfuse-pack', '-d', 'packed.dfu'], work)
        with open(os.path.join(work, 'packed.dfu'), 'rb') as f:
            data = f.read()
    image = re.search(r"v(\d+), image size: (\d+), targets: (\d+)", dump.stdout)
    targets = []
    offset = 11
    for line in dump.stdout.splitlines():
        t = re.match(r"b'Target' \d+, alt setting: (\d+), name: \"b'(.*)'\", size: (\d+), elements: (\d+)", line)
        e = re.match(r"\s+\d+, address: (0x[0-9a-f]+), size: (\d+)", line)
        if t:
            targets.append({'alternateSetting': int(t.group(1)), 'named': True, 'name': t.group(2),
                            'nameBytes': t.group(2).encode().hex(), 'offset': offset, 'statedSize': int(t.group(3)),
                            'statedElementCount': int(t.group(4)), 'elementCount': int(t.group(4)), 'elements': []})
            header = offset + TARGET_PREFIX
            offset = header + int(t.group(3))
        elif e:
            address, size = int(e.group(1), 16), int(e.group(2))
            targets[-1]['elements'].append({'address': address, 'size': size, 'end': address + size,
                                            'dataOffset': header + 8})
            header += 8 + size
    usb = re.search(r"usb: ([0-9a-f]{4}):([0-9a-f]{4}), device: (0x[0-9a-f]+), dfu: (0x[0-9a-f]+), b'UFD', (\d+), "
                    r"(0x[0-9a-f]+)", dump.stdout)
    dfuse = {'version': int(image.group(1)), 'imageSize': int(image.group(2)), 'targetCount': int(image.group(3)),
             'targets': targets}
    expected = expect(data, dfuse=dfuse)
    expected['suffix'] = {'vendor': int(usb.group(1), 16), 'product': int(usb.group(2), 16),
                          'release': int(usb.group(3), 16), 'dfuVersion': int(usb.group(4), 16),
                          'length': int(usb.group(5)), 'storedCrc': int(usb.group(6), 16)}
    return data, expected


def dfu_util_files():
    """Files the dfu-util tools write, with what their own checks report."""
    files = {}
    if shutil.which('dfuse-pack'):
        packed = dfuse_pack_file(None)
        if packed:
            files['dfuse-pack.dfu'] = packed
    if shutil.which('dfu-suffix') and shutil.which('dfu-prefix'):
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, 'fw.bin')
            with open(path, 'wb') as f:
                f.write(pattern(3000, 21))
            run(['dfu-suffix', '-v', '0x1fc9', '-p', '0x000c', '-d', '0x0101', '-a', path], work)
            check = run(['dfu-suffix', '-c', path], work).stdout
            with open(path, 'rb') as f:
                suffixed = f.read()
            fields = dict(re.findall(r'^([A-Za-z ]+):\t+(\S+)$', check, re.M))
            expected = expect(suffixed)
            expected['suffix'].update(vendor=int(fields['Vendor ID'], 16), product=int(fields['Product ID'], 16),
                                      release=int(fields['BCD device'], 16), dfuVersion=int(fields['BCD DFU'], 16),
                                      length=int(fields['Length']), storedCrc=int(fields['CRC'], 16))
            files['dfu-suffix.dfu'] = (suffixed, expected)
            # dfu-prefix -L rewrites the suffix for the prefixed file; its prefix put in front
            # of the file as it was before is what firmware projects ship.
            run(['dfu-prefix', '-s', '0', '-L', '-a', path], work)
            with open(path, 'rb') as f:
                prefixed = f.read()
            files['dfu-prefix-rewritten.dfu'] = (prefixed, expect(prefixed))
            late = prefixed[:16] + suffixed
            files['dfu-prefix-after-suffix.dfu'] = (late, expect(late, 'crcMismatch', lpc=True))
    return files


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = layouts()
    files.update(dfu_util_files())
    manifest = {}
    for name, (data, expected) in sorted(files.items()):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
        manifest[name] = expected
    os.makedirs(os.path.join(out, 'unreadable.dfu'), exist_ok=True)
    manifest['unreadable.dfu'] = {'verdict': 'unreadable', 'valid': False, 'suffix': None, 'dfuse': None,
                                  'findings': []}
    with open(os.path.join(out, 'manifest.json'), 'w') as f:
        json.dump(manifest, f, indent=1, sort_keys=True)


if __name__ == '__main__':
    main()
