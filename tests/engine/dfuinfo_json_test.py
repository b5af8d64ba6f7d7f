#!/usr/bin/env python3
"""dfuinfo_json_test.py [--windows] [--oracles] SAMPLES -- COMMAND...
Runs dfuinfo (COMMAND, e.g. the program or Wine and the program) on the files of
make_layouts.py and checks that --json says exactly what the manifest says about each, that
the exit code tells valid, invalid and unreadable apart, and with --oracles that dfu-suffix
accepts exactly the files dfuinfo calls valid."""
import json
import os
import subprocess
import sys

failures = []


def fail(message):
    failures.append(message)


def compare(expected, actual, where, code_page):
    if isinstance(expected, dict):
        if not isinstance(actual, dict):
            return fail(f'{where}: expected an object, got {actual!r}')
        for key, value in expected.items():
            if key not in actual:
                fail(f'{where}: no "{key}"')
            elif key == 'name' and code_page != 1252 and any(ord(c) > 0x7F for c in value):
                continue  # converted with another ANSI code page; nameBytes still checks it
            else:
                compare(value, actual[key], f'{where}.{key}', code_page)
    elif isinstance(expected, list):
        if not isinstance(actual, list) or len(actual) != len(expected):
            return fail(f'{where}: expected {len(expected)} items, got {actual!r:.200}')
        for index, (e, a) in enumerate(zip(expected, actual)):
            compare(e, a, f'{where}[{index}]', code_page)
    elif expected != actual or type(expected) != type(actual):
        fail(f'{where}: expected {expected!r}, got {actual!r}')


def main():
    args = sys.argv[1:]
    split = args.index('--')
    options, command = args[:split], args[split + 1:]
    windows = '--windows' in options
    oracles = '--oracles' in options
    samples = [o for o in options if not o.startswith('--')][0]
    with open(os.path.join(samples, 'manifest.json')) as f:
        manifest = json.load(f)

    def path_of(name):
        path = os.path.abspath(os.path.join(samples, name))
        return 'Z:' + path.replace('/', '\\') if windows else path

    def dfuinfo(*arguments):
        return subprocess.run(command + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    names = sorted(manifest)
    run = dfuinfo('--json', *[path_of(n) for n in names])
    try:
        document = json.loads(run.stdout.decode('ascii'))
    except (UnicodeDecodeError, ValueError) as error:
        print(f'dfuinfo --json gave no JSON ({error}):\n{run.stdout[:2000]!r}\n{run.stderr[:2000]!r}')
        return 1
    files = document['files']
    if len(files) != len(names):
        fail(f'{len(files)} file objects for {len(names)} files')
    for name, actual in zip(names, files):
        if actual['path'] != path_of(name):
            fail(f'{name}: path {actual["path"]!r}')
        compare(manifest[name], actual, name, actual.get('codePage'))
        for found in actual['findings']:
            if not found['text']:
                fail(f'{name}: a finding without text')
        if actual['reason'] == '':
            fail(f'{name}: no reason')
    if run.returncode != 2:
        fail(f'exit code {run.returncode} with an unreadable file among them')

    for arguments, code in ((['plain.dfu', 'two-targets.dfu'], 0), (['plain.dfu', 'no-suffix.dfu'], 1),
                            (['crc-mismatch.dfu'], 1), (['no-suffix.dfu', 'unreadable.dfu'], 2)):
        got = dfuinfo(*[path_of(a) for a in arguments]).returncode
        if got != code:
            fail(f'exit code {got} for {arguments}, expected {code}')
    if dfuinfo().returncode != 2 or dfuinfo('--json').returncode != 2:
        fail('no file named: not exit code 2')
    text = dfuinfo(path_of('two-targets.dfu')).stdout.decode('utf-8')
    for line in ('0x08000000-0x080003FF', '0x08004000-0x0800412B', '0x1FFF0000-0x1FFF003F', '"Internal Flash"'):
        if line not in text:
            fail(f'text output lacks {line}:\n{text}')

    if oracles:
        for name in names:
            if os.path.isdir(os.path.join(samples, name)):
                continue
            accepted = subprocess.run(['dfu-suffix', '-c', path_of(name)], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL).returncode == 0
            # dfu-suffix takes any bcdDFU; the engine knows only DFU 1.0 and DfuSe.
            if manifest[name]['verdict'] == 'unknownDfuVersion':
                accepted = False
            if accepted != manifest[name]['valid']:
                fail(f'{name}: dfu-suffix -c {"accepts" if accepted else "rejects"} it')

    for message in failures:
        print(message)
    print(f'{len(names)} files, {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
