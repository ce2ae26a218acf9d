#!/usr/bin/env python3
"""The Windows build, run under Wine, against the Linux build.

    wine_checks.py LINUX_BUILD_DIR

Runs the 64-bit terravane.exe (with "Terravane-193 64bit.8bf" beside it)
under wine64 and the Linux terravane on the same commands, each with its own
fresh working folder, and requires byte-identical files: renders of every
output mode, at 8, 16 and 32 bits, grey, with a source and a selection mask,
on a layer, with settings that reach every part of the synthesis; a saved
preset; a layered document; cloud maps downloaded over HTTP from a server on
127.0.0.1 (through WinINet on Windows), with a 404, credentials and a cut
transfer; the dialog replayed headless (screenshot and result). Uses its
own Wine prefix inside the build folder; no display.
Prints one line per check and a closing count.
"""
import base64
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

build = os.path.abspath(sys.argv[1])
linux_exe = os.path.join(build, 'terravane')
windows_exe = os.path.join(build, 'windows', 'x64', 'terravane.exe')
wine = shutil.which('wine64') or '/usr/lib/wine/wine64'
wineserver = shutil.which('wineserver') or '/usr/lib/wine/wineserver'
for path in (linux_exe, windows_exe, os.path.join(build, 'windows', 'x64', 'Terravane-193 64bit.8bf'), wine):
    if not os.path.exists(path):
        sys.exit('wine_checks: %s is missing (make windows builds it; scripts/install-deps installs wine64)' % path)

work = tempfile.mkdtemp(prefix='wine-checks-', dir=os.path.join(build, 'windows'))
env = {k: v for k, v in os.environ.items() if not k.lower().endswith('_proxy') and k != 'DISPLAY'}
env.update({
    'WINEPREFIX': os.path.join(build, 'windows', 'wine'),
    'WINEDEBUG': '-all',
    'WINEDLLOVERRIDES': 'mscoree,mshtml=',  # no Mono or Gecko installer prompt
    'no_proxy': '127.0.0.1,localhost',
})
os.makedirs(env['WINEPREFIX'], exist_ok=True)
# One Wine server for every run (it ends itself 60 s after the last one).
subprocess.run([wineserver, '-p60'], env=env, check=False)


def win_path(path):
    return 'Z:' + path.replace('/', '\\')


def run(side, args, home, extra_env=None):
    """Runs one side; file arguments are given as '@name' (a file in work)."""
    e = dict(env, **(extra_env or {}))
    if side == 'linux':
        argv = [linux_exe] + [os.path.join(work, a[1:]) if a.startswith('@') else a for a in args]
        e['TERRAVANE_HOME'] = home
    else:
        argv = [wine, windows_exe] + [win_path(os.path.join(work, a[1:])) if a.startswith('@') else a for a in args]
        e['TERRAVANE_HOME'] = win_path(home)
    return subprocess.run(argv, env=e, capture_output=True, timeout=300)


passed = failed = 0
lock = threading.Lock()


def report(name, ok, detail=''):
    with lock:
        report_locked(name, ok, detail)


def report_locked(name, ok, detail):
    global passed, failed
    if ok:
        passed += 1
        print('ok    ' + name)
    else:
        failed += 1
        print('FAIL  ' + name + ('  (' + detail + ')' if detail else ''))
    sys.stdout.flush()


def same_files(name, args, outputs, extra_env=None, status=0, homes=None):
    """Runs args on both sides (outputs named per side) and compares files."""
    results = {}
    for side in ('linux', 'windows'):
        home = homes[side] if homes else os.path.join(work, 'home-' + side + '-' + name.replace(' ', '_'))
        os.makedirs(home, exist_ok=True)
        side_args = [a.replace('{side}', side) for a in args]
        r = run(side, side_args, home, extra_env)
        results[side] = (r, home)
        if r.returncode != status:
            report(name, False, '%s exit %d, expected %d: %s' % (side, r.returncode, status, r.stderr.decode(errors='replace').strip()[-300:]))
            return results
    for out in outputs:
        a = out.replace('{side}', 'linux')
        b = out.replace('{side}', 'windows')
        pa = os.path.join(results['linux'][1], a[6:]) if a.startswith('@home/') else os.path.join(work, a)
        pb = os.path.join(results['windows'][1], b[6:]) if b.startswith('@home/') else os.path.join(work, b)
        if not os.path.exists(pa) or not os.path.exists(pb):
            report(name, False, 'missing ' + (pa if not os.path.exists(pa) else pb))
            return results
        da, db = open(pa, 'rb').read(), open(pb, 'rb').read()
        if da != db:
            diff = sum(1 for x, y in zip(da, db) if x != y) + abs(len(da) - len(db))
            report(name, False, '%s differs in %d of %d bytes' % (os.path.basename(b), diff, len(da)))
            return results
    report(name, True)
    return results


S = '160x160'
render = ['render', '--quiet', '--size', S]
# A source image and a selection mask for the composite cases, made by the Linux host.
subprocess.run([linux_exe, 'render', '--quiet', '--defaults', '--size', S, '--set', 'glue=mural',
                '-o', os.path.join(work, 'source.ppm')], env=dict(env, TERRAVANE_HOME=os.path.join(work, 'home-src')),
               check=True)
subprocess.run([linux_exe, 'render', '--quiet', '--defaults', '--size', S, '--set', 'glue=ocean mask',
                '-o', os.path.join(work, 'mask.pgm')], env=dict(env, TERRAVANE_HOME=os.path.join(work, 'home-src')),
               check=True)

# The independent renders run two at a time (the machines have two cores).
from concurrent.futures import ThreadPoolExecutor
pool = ThreadPoolExecutor(max_workers=2)
jobs = []


def later(*args, **kwargs):
    jobs.append(pool.submit(same_files, *args, **kwargs))


modes = ['normal', 'composite', 'lit map', 'map color', 'land color', 'land bump', 'ocean mask', 'air color',
         'cloud mask', 'cloud bump', 'cities', 'mural', 'hypsometric', 'bump w/o ocean']
for i, mode in enumerate(modes, 1):
    later('mode %d %s' % (i, mode), render + ['--defaults', '--set', 'glue=%d' % i, '--set', 'cities=60',
                                                   '-o', '@mode%d-{side}.ppm' % i], ['mode%d-{side}.ppm' % i])

busy = ['--set', 'crater count=80', '--set', 'crater size=70', '--set', 'storm count=40', '--set', 'storm swirl=90',
        '--set', 'sunset=80', '--set', 'backlighting=1', '--set', 'cities=80', '--set', 'ice=60', '--set', 'desert=70',
        '--set', 'light x=0.8', '--set', 'light y=0.3', '--set', 'light z=0.3', '--set', 'axis x=0.3',
        '--set', 'axis y=0.9', '--set', 'axis z=0.3', '--set', 'random seed=4321', '--set', 'cloud coriolis=80',
        '--set', 'land texture=90', '--set', 'cloud texture=80', '--set', 'air depth=80']
later('busy planet 8-bit', render + ['--defaults'] + busy + ['-o', '@busy8-{side}.ppm'], ['busy8-{side}.ppm'])
later('busy planet 16-bit', render + ['--defaults', '--depth', '16'] + busy + ['-o', '@busy16-{side}.ppm'],
           ['busy16-{side}.ppm'])
later('busy planet 32-bit', render + ['--defaults', '--depth', '32'] + busy + ['-o', '@busy32-{side}.pfm'],
           ['busy32-{side}.pfm'])
later('real luna, lunar climate', render + ['--defaults', '--set', 'real luna=1', '--set', 'lunar climate=1',
                                                 '--set', 'glue=lit map', '-o', '@luna-{side}.ppm'], ['luna-{side}.ppm'])
later('grey 8-bit', render + ['--defaults', '--gray'] + busy + ['-o', '@grey8-{side}.pgm'], ['grey8-{side}.pgm'])
later('grey 16-bit', render + ['--defaults', '--gray', '--depth', '16', '-o', '@grey16-{side}.pgm'],
           ['grey16-{side}.pgm'])
later('grey 32-bit', render + ['--defaults', '--gray', '--depth', '32', '-o', '@grey32-{side}.pfm'],
           ['grey32-{side}.pfm'])
later('source with mask 8-bit', ['render', '--quiet', '--defaults', '--source', '@source.ppm', '--mask',
                                      '@mask.pgm', '--set', 'glue=composite', '-o', '@masked-{side}.ppm'],
           ['masked-{side}.ppm'])
later('source with mask 32-bit', ['render', '--quiet', '--defaults', '--source', '@source.ppm', '--mask',
                                       '@mask.pgm', '--depth', '32', '--set', 'glue=composite',
                                       '-o', '@masked32-{side}.pfm'], ['masked32-{side}.pfm'])
later('layer', render + ['--defaults', '--layer', '--set', 'glue=composite', '-o', '@layer-{side}.bmp'],
           ['layer-{side}.bmp'])
later('three worker threads', render + ['--defaults', '--threads', '3'] + busy + ['-o', '@threads-{side}.ppm'],
           ['threads-{side}.ppm'])
for job in jobs:
    job.result()
pool.shutdown()
same_files('preset save', ['preset', 'save', '-o', '@preset-{side}.q1q'] + busy, ['preset-{side}.q1q'])
same_files('render from preset, cached settings', render + ['--preset', '@preset-linux.q1q', '-o', '@fromq-{side}.ppm'],
           ['fromq-{side}.ppm', '@home/Terravane cached settings D'])
for side in ('linux', 'windows'):
    home = os.path.join(work, 'home-show-' + side)
    os.makedirs(home, exist_ok=True)
    shown = run(side, ['preset', 'show', '@preset-linux.q1q'], home)
    open(os.path.join(work, 'show-%s.json' % side), 'wb').write(shown.stdout)
report('preset show', open(os.path.join(work, 'show-linux.json'), 'rb').read() ==
       open(os.path.join(work, 'show-windows.json'), 'rb').read() and len(shown.stdout) > 100)
same_files('layers', ['layers', '--size', '96x64', '--depth', '16', '-o', '@layers-{side}.psd'] + busy,
           ['layers-{side}.psd'])
same_files('catalogue of presets', ['catalogue', 'presets', '@', '-o', '@catalogue-{side}.html'], [])
# The dialog replayed through the headless peer (at a scale of 1.5): the same
# screenshot and the same planet on both systems.
with open(os.path.join(work, 'events.txt'), 'w') as f:
    f.write('type 37 30\ndrag @112:0.2,0.3 @112:0.8,0.6\nclick @52\nkey Tab\nmove 300 200\nok\n')
same_files('edit --replay', ['edit', '--defaults', '--size', '320x200', '--replay', '@events.txt', '--screenshot',
                             '@dialog-{side}.png', '-o', '@edited-{side}.png'],
           ['dialog-{side}.png', 'edited-{side}.png'], extra_env={'TERRAVANE_DIALOG_SCALE': '1.5'})

# Downloads: a server on 127.0.0.1 that the test starts.
gif = None


def make_handler(mode):
    """A server answering the satellite image's path: 'ok', 'missing' (404),
    'private' (Basic credentials user:secret, else 401) or 'short' (cut)."""
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def answer(self, status, body, length=None, extra=()):
            self.send_response(status)
            for k, v in extra:
                self.send_header(k, v)
            self.send_header('Content-Length', str(len(body) if length is None else length))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            if self.path.split('?')[0] != '/data/geo/west/latest_west_ir4_fd.gif' or mode == 'missing':
                return self.answer(404, b'not found')
            if mode == 'private' and self.headers.get('Authorization') != 'Basic ' + base64.b64encode(b'user:secret').decode():
                return self.answer(401, b'', extra=[('WWW-Authenticate', 'Basic realm="satellite"')])
            if mode == 'short':
                return self.answer(200, gif[:len(gif) // 2], length=len(gif))
            self.answer(200, gif)
    return Handler


# A satellite disc with cloud-like bands, as an uncompressed GIF.
def disc_gif(w, h):
    import struct
    r = min(w, h) * 0.45

    def value(x, y):
        dx, dy = x - w / 2, y - h / 2
        if dx * dx + dy * dy > r * r:
            return 0
        return 40 + (x * 7 + y * 13 + (x * y) // 17) % 200
    pixels = bytes(value(x, y) for y in range(h) for x in range(w))
    out = b'GIF89a' + struct.pack('<HHBBB', w, h, 0xF7, 0, 0)
    out += bytes(c for i in range(256) for c in (i, i, i))
    out += b',' + struct.pack('<HHHHB', 0, 0, w, h, 0)
    # Uncompressed LZW: a clear code before every 254 literals keeps the code size at 9 bits.
    min_code = 8
    codes, bits, nbits = [], 0, 0
    data = bytearray()
    for i, p in enumerate(pixels):
        if i % 254 == 0:
            codes.append(256)
        codes.append(p)
    codes.append(257)
    for c in codes:
        bits |= c << nbits
        nbits += 9
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    out += bytes([min_code])
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return out + b'\x00;'


gif = disc_gif(300, 280)
servers = {}
for mode in ('ok', 'missing', 'private', 'short'):
    servers[mode] = http.server.ThreadingHTTPServer(('127.0.0.1', 0), make_handler(mode))
    threading.Thread(target=servers[mode].serve_forever, daemon=True).start()


def base(mode):
    return 'http://127.0.0.1:%d' % servers[mode].server_address[1]


homes = {s: os.path.join(work, 'home-clouds-' + s) for s in ('linux', 'windows')}
same_files('clouds fetch over HTTP', ['clouds', 'fetch', '0'], ['@home/Terravane cached clouds 00'],
           extra_env={'TERRAVANE_IMAGE_SERVER_1': base('ok')}, homes=homes)
same_files('render with the fetched clouds', render + ['--defaults', '--set', 'real clouds=1', '--set',
                                                       'downloaded clouds=0', '-o', '@clouds-{side}.ppm'],
           ['clouds-{side}.ppm'], homes=homes)
r = same_files('clouds fetch: 404 fails', ['clouds', 'fetch', '0'], [], status=1,
               extra_env={'TERRAVANE_IMAGE_SERVER_1': base('missing')})
same_files('clouds fetch: a cut transfer fails', ['clouds', 'fetch', '0'], [], status=1,
           extra_env={'TERRAVANE_IMAGE_SERVER_1': base('short')})
# Credentials from the netrc file on a 401, then the request again.
netrc_home = os.path.join(work, 'netrc')
os.makedirs(netrc_home, exist_ok=True)
with open(os.path.join(netrc_home, '.netrc'), 'w') as f:
    f.write('machine 127.0.0.1 login user password secret\n')
os.chmod(os.path.join(netrc_home, '.netrc'), 0o600)
# Wine keeps no HOME of the Linux side: the Windows host looks in its profile
# folder (%USERPROFILE%\\_netrc), which lies inside this build's Wine prefix.
import getpass
profile_netrc = os.path.join(env['WINEPREFIX'], 'drive_c', 'users', getpass.getuser(), '_netrc')
os.makedirs(os.path.dirname(profile_netrc), exist_ok=True)
shutil.copy(os.path.join(netrc_home, '.netrc'), profile_netrc)
same_files('clouds fetch with credentials', ['clouds', 'fetch', '0'], ['@home/Terravane cached clouds 00'],
           extra_env={'TERRAVANE_IMAGE_SERVER_1': base('private'), 'HOME': netrc_home})
os.remove(profile_netrc)
same_files('clouds fetch: wrong credentials fail', ['clouds', 'fetch', '0'], [], status=1,
           extra_env={'TERRAVANE_IMAGE_SERVER_1': base('private'), 'HOME': work})
for server in servers.values():
    server.shutdown()

print('%d passed, %d failed' % (passed, failed))
if failed == 0:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failed else 0)
