#!/usr/bin/python3
# check_packages.py <dist folder> <bin folder> <source folder>
# The release zip holds exactly the files users need, the program without DWARF sections, the data and
# help files as built, CR LF texts and the libraries' licences; the installer is a Windows program that
# asks for no administrator rights. Prints each problem and exits 1 when there is one.
import os, re, subprocess, sys, tempfile, zipfile

dist, bin_dir, src = sys.argv[1:4]
problems = []
zip_path = os.path.join(dist, 'Sondrel-2.0-win32.zip')
setup_path = os.path.join(dist, 'Sondrel-2.0-setup.exe')

data = sorted(f for f in os.listdir(os.path.join(src, 'data')) if f.endswith('.dat'))
expected = {'Sondrel/' + f for f in data + ['Sondrel.exe', 'Sondrel.chm', 'README.txt']}
expected |= {'Sondrel/licenses/' + f for f in ('zlib.txt', 'libjpeg-turbo.txt', 'mingw-w64-runtime.txt')}

with zipfile.ZipFile(zip_path) as z:
    names = set(z.namelist())
    for missing in sorted(expected - names):
        problems.append(f'the zip lacks {missing}')
    for extra in sorted(names - expected):
        problems.append(f'the zip holds {extra}, which is not meant to ship')
    read = lambda n: z.read(n) if n in names else b''
    for f in data:
        if read('Sondrel/' + f) != open(os.path.join(src, 'data', f), 'rb').read():
            problems.append(f'{f} in the zip differs from data/{f}')
    # The built program carries the reporter's options block, which any later rewrite of the file loses.
    if read('Sondrel/Sondrel.exe') != open(os.path.join(bin_dir, 'Sondrel.exe'), 'rb').read():
        problems.append('Sondrel.exe in the zip is not the built program')
    if read('Sondrel/Sondrel.chm') != open(os.path.join(bin_dir, 'Sondrel.chm'), 'rb').read():
        problems.append('Sondrel.chm in the zip is not the built help file')
    for text in ['Sondrel/README.txt'] + [n for n in expected if '/licenses/' in n]:
        body = read(text)
        if not body or body.count(b'\n') != body.count(b'\r\n'):
            problems.append(f'{text} is empty or not in CR LF lines')
    licences = {'zlib.txt': b'Jean-loup Gailly', 'libjpeg-turbo.txt': b'Independent JPEG Group',
                'mingw-w64-runtime.txt': b'winpthreads'}
    for name, mark in licences.items():
        if mark not in read('Sondrel/licenses/' + name):
            problems.append(f'licenses/{name} does not read as the licence it should be')
    with tempfile.TemporaryDirectory() as out:
        exe = os.path.join(out, 'Sondrel.exe')
        open(exe, 'wb').write(read('Sondrel/Sondrel.exe'))
        headers = subprocess.run(['i686-w64-mingw32-objdump', '-h', '-f', exe], capture_output=True, text=True).stdout
        if 'pei-i386' not in headers:
            problems.append('Sondrel.exe in the zip is not a 32-bit Windows program')
        if re.search(r'\s\.debug_', headers):
            problems.append('Sondrel.exe in the zip still has DWARF sections')
        if '.rsrc' not in headers:
            problems.append('Sondrel.exe in the zip lost its resources')

setup = open(setup_path, 'rb').read()
if setup[:2] != b'MZ':
    problems.append('the installer is not a Windows program')
if b'level="asInvoker"' not in setup:
    problems.append('the installer does not run as the invoking user')
if b'requireAdministrator' in setup:
    problems.append('the installer asks for administrator rights')

for p in problems:
    print(p)
print(f'{len(names)} files in the zip, installer {len(setup)} bytes, {len(problems)} problems')
sys.exit(1 if problems else 0)
