#!/usr/bin/env python3
"""dfutool_oracle_test.py [--windows] WORKDIR -- COMMAND...
Runs dfutool (COMMAND: the program, or Wine and the program) and holds what it writes
against dfu-util's dfu-suffix, dfu-prefix and dfuse-pack, srec_cat and sha256sum, byte for
byte; checks the refusals (exit code, message naming file and line or both ranges, nothing
left behind) and a round trip of make, extract and diff."""
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys

failures = []


def fail(message):
    failures.append(message)


def main():
    args = sys.argv[1:]
    split = args.index('--')
    options, command = args[:split], args[split + 1:]
    windows = '--windows' in options
    work = os.path.abspath([o for o in options if not o.startswith('--')][0])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    rng = random.Random(26)

    def path(name):
        p = os.path.join(work, name)
        return 'Z:' + p.replace('/', '\\') if windows else p

    def local(name):
        return os.path.join(work, name)

    def put(name, data):
        with open(local(name), 'wb') as f:
            f.write(data)
        return name

    def read(name):
        with open(local(name), 'rb') as f:
            return f.read()

    def tool(*words):
        return subprocess.run(command + list(words), stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work)

    def oracle(*words):
        run = subprocess.run(list(words), stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work)
        if run.returncode != 0:
            fail(f'oracle {words} failed: {run.stderr.decode(errors="replace")}')
        return run

    def expect(run, code, what, message=None):
        if run.returncode != code:
            fail(f'{what}: exit code {run.returncode}, expected {code}; {run.stderr.decode(errors="replace")}')
        if message is not None and message not in run.stderr.decode(errors='replace'):
            fail(f'{what}: "{message}" not in {run.stderr.decode(errors="replace")!r}')

    def same(name, expected, what):
        if not os.path.exists(local(name)):
            return fail(f'{what}: {name} not written')
        if read(name) != read(expected):
            fail(f'{what}: {name} and {expected} differ')

    a = put('a.bin', rng.randbytes(1000))
    b = put('b.bin', rng.randbytes(333))
    put('c.bin', rng.randbytes(70000))
    oracle('srec_cat', local('a.bin'), '-binary', '-offset', '0x08000000', local('c.bin'), '-binary', '-offset',
           '0x0800FF00', '-o', local('t.hex'), '-intel')
    oracle('srec_cat', local('a.bin'), '-binary', '-offset', '0x08000000', local('c.bin'), '-binary', '-offset',
           '0x0800FF00', '-o', local('t.s19'), '-motorola')

    # Plain DFU: dfu-suffix -a, both DFU versions.
    for version, bcd in (('1.0', '0x0100'), ('1.1a', '0x011a')):
        shutil.copy(local(a), local(f'plain-{version}.oracle'))
        oracle('dfu-suffix', '-a', local(f'plain-{version}.oracle'), '-v', '0x1234', '-p', '0x5678', '-d', '0x0100',
               '-S', bcd)
        expect(tool('make', '--image', path(a), '-v', '0x1234', '-p', '0x5678', '-d', '0x0100', '-S', version,
                    path(f'plain-{version}.dfu')), 0, f'make --image {version}')
        same(f'plain-{version}.dfu', f'plain-{version}.oracle', f'make --image -S {version}')

    # DfuSe in dfuse-pack's ways: -b, -i, -s.
    cases = (
        ('bins', ['-b', f'0x08000000:{local(a)}', '-b', f'0x08001000@1:{local(b)}', '-D', '0x0483:0xdf11'],
         ['--bin', f'0x08000000:{path(a)}', '--bin', f'0x08001000@1:{path(b)}', '-D', '0x0483:0xdf11']),
        ('hex', ['-i', local('t.hex'), '-a', '3'], ['--hex', path('t.hex'), '-a', '3']),
        ('srec', ['-s', local('t.s19')], ['--srec', path('t.s19')]),
    )
    for name, pack, ours in cases:
        oracle('/usr/bin/python3', shutil.which('dfuse-pack'), *pack, local(f'{name}.oracle'))
        expect(tool('make', '--dfuse-pack', *ours, path(f'{name}.dfu')), 0, f'make {name}')
        same(f'{name}.dfu', f'{name}.oracle', f'make --dfuse-pack {name}')

    # set: numbers (dfu-suffix -D then -a), suffix removal, LPC prefix both ways.
    shutil.copy(local('plain-1.0.oracle'), local('set-ids.oracle'))
    oracle('dfu-suffix', '-D', local('set-ids.oracle'))
    shutil.copy(local('set-ids.oracle'), local('no-suffix.oracle'))
    oracle('dfu-suffix', '-a', local('set-ids.oracle'), '-v', '0x1234', '-p', '0xBEEF', '-d', '0x0100')
    expect(tool('set', '-p', '0xBEEF', path('plain-1.0.dfu'), path('set-ids.dfu')), 0, 'set -p')
    same('set-ids.dfu', 'set-ids.oracle', 'set -p')
    expect(tool('set', '--remove-suffix', path('plain-1.0.dfu'), path('no-suffix.bin')), 0, 'set --remove-suffix')
    same('no-suffix.bin', 'no-suffix.oracle', 'set --remove-suffix')
    shutil.copy(local('plain-1.0.oracle'), local('lpc.oracle'))
    oracle('dfu-prefix', '-a', local('lpc.oracle'), '-L')
    expect(tool('set', '--add-lpc-prefix', path('plain-1.0.dfu'), path('lpc.dfu')), 0, 'set --add-lpc-prefix')
    same('lpc.dfu', 'lpc.oracle', 'set --add-lpc-prefix')
    shutil.copy(local('lpc.oracle'), local('unlpc.oracle'))
    oracle('dfu-prefix', '-D', local('unlpc.oracle'), '-L')
    expect(tool('set', '--remove-lpc-prefix', path('lpc.dfu'), path('unlpc.dfu')), 0, 'set --remove-lpc-prefix')
    same('unlpc.dfu', 'unlpc.oracle', 'set --remove-lpc-prefix')

    # extract: elements against dfuse-pack -d, targets through srec_cat against the binary.
    expect(tool('extract', '--bin', '--hex', '--srec', path('hex.dfu')), 0, 'extract')
    oracle('/usr/bin/python3', shutil.which('dfuse-pack'), '-d', local('hex.dfu'))
    same('hex.target0.08000000.bin', 'hex.dfu.target0.image0.bin', 'extract element 0')
    same('hex.target0.0800FF00.bin', 'hex.dfu.target0.image1.bin', 'extract element 1')
    oracle('srec_cat', local('t.hex'), '-intel', '-o', local('t.bin.oracle'), '-binary')
    for name, kind in (('hex.target0.hex', '-intel'), ('hex.target0.s19', '-motorola')):
        oracle('srec_cat', local(name), kind, '-o', local(name + '.bin'), '-binary')
        same(name + '.bin', 't.bin.oracle', f'extract {kind}')
    expect(tool('extract', path('plain-1.0.dfu')), 0, 'extract plain')
    same('plain-1.0.bin', 'a.bin', 'extract plain')

    # hash against sha256sum and hashlib.
    run = tool('hash', path('hex.dfu'))
    expect(run, 0, 'hash')
    lines = run.stdout.decode().splitlines()
    if not lines or lines[0].split()[0] != hashlib.sha256(read('hex.dfu')).hexdigest():
        fail(f'hash of the file: {lines[:1]}')
    sums = oracle('sha256sum', local('hex.dfu')).stdout.decode().split()[0]
    if not lines or lines[0].split()[0] != sums:
        fail('hash differs from sha256sum')
    for line, element in zip(lines[1:], ('hex.target0.08000000.bin', 'hex.target0.0800FF00.bin')):
        if line.split()[0] != hashlib.sha256(read(element)).hexdigest():
            fail(f'hash of {element}: {line}')

    # Round trip: make from HEX, change the product, extract it, make again, compare.
    expect(tool('make', '--hex', path('t.hex'), '-D', '0x1209:0x0001', path('rt.dfu')), 0, 'round trip make')
    expect(tool('set', '-p', '0x0002', path('rt.dfu'), path('rt2.dfu')), 0, 'round trip set')
    expect(tool('extract', '--hex', path('rt2.dfu')), 0, 'round trip extract')
    expect(tool('make', '--hex', path('rt2.target0.hex'), '-D', '0x1209:0x0002', path('rt3.dfu')), 0,
           'round trip make again')
    same('rt3.dfu', 'rt2.dfu', 'round trip')
    run = tool('diff', '--json', path('rt.dfu'), path('rt2.dfu'))
    expect(run, 1, 'diff of a changed product')
    if b'"field": "product", "a": 1, "b": 2' not in run.stdout:
        fail(f'diff does not name the product: {run.stdout[:400]!r}')
    expect(tool('diff', path('rt2.dfu'), path('rt3.dfu')), 0, 'diff of the same')
    changed = bytearray(read('a.bin'))
    changed[10] ^= 1
    changed[12] ^= 1
    changed[500] ^= 1
    put('a2.bin', bytes(changed))
    expect(tool('make', '--bin', f'0x08000000:{path("a2.bin")}', path('d2.dfu')), 0, 'make d2')
    expect(tool('make', '--bin', f'0x08000000:{path("a.bin")}', path('d1.dfu')), 0, 'make d1')
    run = tool('diff', '--json', path('d1.dfu'), path('d2.dfu'))
    expect(run, 1, 'diff of changed bytes')
    want = (b'"differing": [{"address": 134217738, "length": 3, "count": 2}, '
            b'{"address": 134218228, "length": 1, "count": 1}]')
    if want not in run.stdout:
        fail(f'diff ranges: {run.stdout[:600]!r}')

    # Refusals: exit code, message, and the folder as it was.
    put('bad.hex', b':020000040800F2\n:0400000001020304F0\n:00000001FF\n')
    put('bad.s19', b'S107000001020304EE\nS4030000FC\n')
    put('exists.dfu', b'earlier')
    refusals = (
        (['make', '--hex', path('bad.hex'), path('out.dfu')], 1, 'bad.hex:2: checksum'),
        (['make', '--srec', path('bad.s19'), path('out.dfu')], 1, 'bad.s19:2: unknown record type S4'),
        (['make', '--bin', f'0x08000000:{path(a)}', '--bin', f'0x08000100:{path(b)}', path('out.dfu')], 1,
         '0x08000000-0x080003E7 and '),
        (['make', '--bin', f'0xFFFFFF00:{path(a)}', path('out.dfu')], 2, 'past 32 bits'),
        (['make', '-t', '0:' + 'n' * 256, '--bin', f'0:{path(a)}', path('out.dfu')], 2, 'target name of 256 bytes'),
        (['make', *sum((['-t', '0', '--bin', f'{i * 2000}:{path(a)}'] for i in range(256)), []), path('out.dfu')], 2,
         'more than 255 targets'),
        (['make', '--image', path(a), path(a)], 2, 'is one of the inputs'),
        (['make', '--image', path(a), path('exists.dfu')], 2, 'exists; give --force'),
        (['set', '-p', '1', path(a), path('out.dfu')], 1, 'not a valid DFU file'),
        (['make', '--bogus', path('out.dfu')], 2, 'unexpected "--bogus"'),
        (['diff', path('plain-1.0.dfu'), path('missing.dfu')], 2, 'missing.dfu'),
    )
    before = sorted(os.listdir(work))
    for words, code, message in refusals:
        expect(tool(*words), code, ' '.join(words)[:80], message)
    after = sorted(os.listdir(work))
    if after != before:
        fail(f'refusals left files behind or took some: {set(after) ^ set(before)}')
    if read('exists.dfu') != b'earlier':
        fail('an existing output was changed')
    expect(tool('make', '--image', path(a), '--force', path('exists.dfu')), 0, '--force')
    shutil.copy(local(a), local('default.oracle'))
    oracle('dfu-suffix', '-a', local('default.oracle'))
    same('exists.dfu', 'default.oracle', '--force')
    # A damaged file: refused as it is; with --damaged, what it holds under names that say so.
    broken = bytearray(read('d1.dfu'))
    broken[400] ^= 1
    put('broken.dfu', bytes(broken))
    expect(tool('extract', path('broken.dfu')), 1, 'extract of a damaged file', 'not a valid DFU file')
    if any(n.startswith('broken.') and n != 'broken.dfu' for n in os.listdir(work)):
        fail('a refused extract left files behind')
    run = tool('extract', '--damaged', '--quiet', path('broken.dfu'))
    expect(run, 0, 'extract --damaged', 'its CRC is wrong')
    if read('broken.damaged.target0.08000000.bin') != bytes(broken[293:293 + len(read('a.bin'))]):
        fail('extract --damaged: not the bytes the file holds')

    # The JSON answers scripts read: parsed, with their fields and types.
    def parsed(run, what):
        try:
            return json.loads(run.stdout)
        except ValueError:
            fail(f'{what}: not JSON: {run.stdout[:300]!r}')
            return {}
    answer = parsed(tool('diff', '--json', path('d1.dfu'), path('d2.dfu')), 'diff --json')
    if answer.get('same') is not False or [f['field'] for f in answer.get('fields', [])] != ['storedCrc']:
        fail(f'diff --json fields: {answer!r:.300}')
    target = (answer.get('targets') or [{}])[0]
    want = {'index': 0, 'inA': True, 'inB': True, 'fields': [], 'differingRanges': 2, 'differingBytes': 3,
            'onlyInA': [], 'onlyInB': []}
    if {k: target.get(k) for k in want} != want or len(target.get('differing', [])) != 2:
        fail(f'diff --json target: {target!r:.400}')
    answer = parsed(tool('hash', '--json', path('d1.dfu')), 'hash --json')
    digests = [e.get('sha256') for f in answer.get('files', []) for e in f.get('elements', [])]
    if digests != [hashlib.sha256(read('a.bin')).hexdigest()]:
        fail(f'hash --json element digests: {answer!r:.400}')
    # Without a terminal no progress line reaches stderr, however large the work.
    put('large.bin', bytes(rng.getrandbits(8) for _ in range(64)) * (300 * 1024))
    for words in (['make', '--bin', f'0:{path("large.bin")}', path('large.dfu')], ['hash', path('large.dfu')],
                  ['diff', path('large.dfu'), path('large.dfu')], ['extract', path('large.dfu')]):
        run = tool(*words)
        expect(run, 0, ' '.join(words[:1]) + ' of 19 MiB')
        if run.stderr:
            fail(f'{words[0]} wrote to stderr without a terminal: {run.stderr[:200]!r}')

    for sub in ('make', 'set', 'extract', 'hash', 'diff', 'info'):
        run = tool(sub, '--help')
        expect(run, 0, f'{sub} --help')
        if b'usage: dfutool ' + sub.encode() not in run.stdout:
            fail(f'{sub} --help: {run.stdout[:200]!r}')

    for message in failures:
        print(message)
    if not failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
