#!/usr/bin/env python3
"""The dialog's Win32 window under Wine on a virtual X display.

    wine_dialog.py LINUX_BUILD_DIR

Starts Xvfb, runs the 64-bit `terravane.exe edit` under wine64 and waits for
its window; a screenshot of the screen must show, where the window is, the
very pixels the Linux build's headless peer paints for the same dialog (so
the canvas, the preview drawn through the host's display routine onto the
device context, and the window's size are right). A tooltip must come up
under the pointer; Escape must cancel it: exit status 1 and no output file.
Without a display, edit is a usage error. Prints one line per check and a count.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1])
linux_exe = os.path.join(build, 'terravane')
windows_exe = os.path.join(build, 'windows', 'x64', 'terravane.exe')
wine = shutil.which('wine64') or '/usr/lib/wine/wine64'
tools = {name: shutil.which(name) for name in ('Xvfb', 'xdotool', 'import', 'convert')}
for path in [linux_exe, windows_exe, wine] + list(tools.values()):
    if not path or not os.path.exists(path):
        sys.exit('wine_dialog: %s is missing (make windows; scripts/install-deps installs wine64, xvfb, xdotool, '
                 'imagemagick)' % (path or [k for k, v in tools.items() if not v]))

work = tempfile.mkdtemp(prefix='wine-dialog-', dir=os.path.join(build, 'windows'))
display = next(n for n in range(140, 400) if not os.path.exists('/tmp/.X%d-lock' % n))
xvfb = subprocess.Popen([tools['Xvfb'], ':%d' % display, '-screen', '0', '1280x900x24', '-nolisten', 'tcp'],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
env = {k: v for k, v in os.environ.items() if not k.lower().endswith('_proxy')}
env.update({
    'DISPLAY': ':%d' % display,
    'WINEPREFIX': os.path.join(build, 'windows', 'wine'),
    'WINEDEBUG': '-all',
    'WINEDLLOVERRIDES': 'mscoree,mshtml=',
})
for name in ('TERRAVANE_DIALOG_PEER', 'TERRAVANE_DIALOG_REPLAY', 'TERRAVANE_DIALOG_SCREENSHOT'):
    env.pop(name, None)
passed = failed = 0


def report(name, ok, detail=''):
    global passed, failed
    passed, failed = passed + ok, failed + (not ok)
    print(('ok    ' if ok else 'FAIL  ') + name + ('' if ok or not detail else '  (' + detail + ')'))
    sys.stdout.flush()


def xdotool(*args):
    return subprocess.run([tools['xdotool']] + list(args), env=env, capture_output=True, text=True)


def pixels(path):
    """The RGB bytes and size of a binary 8-bit PPM file."""
    data = open(path, 'rb').read()
    fields, at = [], 2
    while len(fields) < 3:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(int(data[at:end]))
        at = end
    return data[at + 1:], fields[0], fields[1]


def headless_picture(name, events_before):
    """The RGB bytes and size of what the Linux build's headless peer shows
    after the given replay events, for the same dialog."""
    events = os.path.join(work, name + '.txt')
    with open(events, 'w') as f:
        f.write('%sscreenshot %s\ncancel\n' % (events_before, os.path.join(work, name + '.png')))
    linux_home = os.path.join(work, name + '-home')
    os.makedirs(linux_home)
    subprocess.run([linux_exe, 'edit', '--defaults', '--size', '320x200', '--replay', events, '-o',
                    os.path.join(work, 'unused.png')], env=dict(env, TERRAVANE_HOME=linux_home), capture_output=True)
    subprocess.run([tools['convert'], os.path.join(work, name + '.png'), '-depth', '8',
                    os.path.join(work, name + '.ppm')], check=True)
    return pixels(os.path.join(work, name + '.ppm'))


try:
    for _ in range(100):
        if os.path.exists('/tmp/.X11-unix/X%d' % display):
            break
        time.sleep(0.1)
    home = os.path.join(work, 'home')
    os.makedirs(home)
    out = os.path.join(work, 'edited.png')
    started = time.time()
    dialog = subprocess.Popen([wine, windows_exe, 'edit', '--defaults', '--size', '320x200', '-o',
                               'Z:' + out.replace('/', '\\')],
                              env=dict(env, TERRAVANE_HOME='Z:' + home.replace('/', '\\')),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    window = ''
    while time.time() - started < 120 and dialog.poll() is None and not window:
        window = xdotool('search', '--onlyvisible', '--name', '^Terravane$').stdout.split()
        window = window[0] if window else ''
        time.sleep(0.5)
    report('the dialog window opens', bool(window),
           'exit %s: %s' % (dialog.poll(), dialog.stderr.read().decode(errors='replace')[-300:] if dialog.poll() is not None else 'no window in 120 s'))
    if window:
        # Nothing under the pointer (Xvfb starts it in the middle of the
        # screen, over the dialog): no hover, no tip.
        for _ in range(50):
            xdotool('mousemove', '0', '0')
            if xdotool('getmouselocation').stdout.startswith('x:0 y:0 '):
                break
            time.sleep(0.2)
        time.sleep(2)  # the first preview, the tip taken down
        geometry = dict(line.split('=') for line in xdotool('getwindowgeometry', '--shell', window).stdout.split())
        x, y, w, h = (int(geometry[k]) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))
        shot = os.path.join(work, 'screen.png')
        subprocess.run([tools['import'], '-window', 'root', shot], env=env, check=True)
        subprocess.run([tools['convert'], shot, '-crop', '%dx%d+%d+%d' % (w, h, x, y), '+repage', '-depth', '8',
                        os.path.join(work, 'window.ppm')], check=True)
        # The same dialog from the Linux build's headless peer.
        a, aw, ah = pixels(os.path.join(work, 'window.ppm'))
        b, bw, bh = headless_picture('headless', '')
        differ = sum(1 for i in range(0, min(len(a), len(b)), 3) if a[i:i + 3] != b[i:i + 3])
        report('the screen shows the dialog as the headless peer paints it', (aw, ah) == (bw, bh) and differ == 0,
               'window %dx%d, canvas %dx%d, %d pixels differ; see %s' % (aw, ah, bw, bh, differ, shot))
        # The pointer resting on the "Size" label brings the system's tooltip
        # window up below it, with the label's tip.
        xdotool('mousemove', str(x + 80), str(y + 50))
        time.sleep(0.3)
        xdotool('mousemove', str(x + 85), str(y + 50))
        time.sleep(2.5)
        subprocess.run([tools['import'], '-window', 'root', '-crop', '%dx%d+%d+%d' % (w, h, x, y), '+repage',
                        '-depth', '8', os.path.join(work, 'tip.ppm')], env=env, check=True)
        t, _, _ = pixels(os.path.join(work, 'tip.ppm'))
        below = [(px, py) for py in range(65, 95) for px in range(80, 240)]
        changed = sum(1 for px, py in below if t[(py * w + px) * 3:(py * w + px) * 3 + 3] !=
                      b[(py * w + px) * 3:(py * w + px) * 3 + 3])
        report('a tooltip window shows the tip under the pointer', changed > 300,
               '%d pixels changed below the pointer' % changed)
        # The information button opens the information window, a secondary
        # window of its own over the dialog, painted as the headless peer paints
        # it; its Close button takes it away and leaves the dialog running.
        xdotool('mousemove', str(x + 689), str(y + 541))
        time.sleep(0.3)
        xdotool('click', '1')
        child = ''
        for _ in range(40):
            found = [wid for wid in xdotool('search', '--onlyvisible', '--name', '^Terravane$').stdout.split()
                     if wid != window]
            if found:
                child = found[0]
                break
            time.sleep(0.25)
        detail = 'no second window'
        same = False
        if child:
            xdotool('mousemove', '0', '0')
            time.sleep(1.5)
            g = dict(line.split('=') for line in xdotool('getwindowgeometry', '--shell', child).stdout.split())
            cx, cy, cw, ch = (int(g[k]) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))
            subprocess.run([tools['import'], '-window', 'root', '-crop', '%dx%d+%d+%d' % (cw, ch, cx, cy), '+repage',
                            '-depth', '8', os.path.join(work, 'child.ppm')], env=env, check=True)
            c, cw2, ch2 = pixels(os.path.join(work, 'child.ppm'))
            i, iw, ih = headless_picture('info', 'click 689 541\nwindow information\n')
            differ = sum(1 for k in range(0, min(len(c), len(i)), 3) if c[k:k + 3] != i[k:k + 3])
            same = (cw2, ch2) == (iw, ih) and differ == 0
            detail = 'window %dx%d at %d,%d, canvas %dx%d, %d pixels differ' % (cw2, ch2, cx, cy, iw, ih, differ)
            xdotool('mousemove', str(cx + 464), str(cy + 370))
            time.sleep(0.3)
            xdotool('click', '1')
        report('the information window opens over the dialog as the headless peer paints it', same, detail)
        gone = False
        for _ in range(40):
            if child and child not in xdotool('search', '--onlyvisible', '--name', '^Terravane$').stdout.split():
                gone = True
                break
            time.sleep(0.25)
        report('its Close button closes it and the dialog stays', gone and dialog.poll() is None,
               'dialog exit %s' % dialog.poll())
        # Escape, again should the first one come before the window has the focus.
        for _ in range(3):
            xdotool('key', '--window', window, 'Escape')
            try:
                dialog.wait(timeout=15)
                break
            except subprocess.TimeoutExpired:
                pass
    try:
        dialog.wait(timeout=30)
    except subprocess.TimeoutExpired:
        dialog.kill()
        dialog.wait()
    err = dialog.stderr.read().decode(errors='replace')
    report('Escape cancels: status 1, nothing written', dialog.returncode == 1 and not os.path.exists(out)
           and 'cancelled' in err, 'exit %s: %s' % (dialog.returncode, err.strip()[-300:]))
    # Without a display the window cannot be made: a usage error that says so.
    bare = subprocess.run([wine, windows_exe, 'edit', '--defaults', '--size', '64x64', '-o', 'Z:' + out.replace('/', '\\')],
                          env={k: v for k, v in env.items() if k != 'DISPLAY'}, capture_output=True, timeout=120)
    said = bare.stderr.decode(errors='replace').strip()
    report('no display: a usage error', bare.returncode == 2 and 'cannot show the dialog' in said and not os.path.exists(out),
           'exit %d: %s' % (bare.returncode, said[-300:]))
    print('dialog under Wine: %.1f s' % (time.time() - started))
finally:
    xvfb.terminate()
    xvfb.wait()

print('%d passed, %d failed' % (passed, failed))
if failed == 0:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failed else 0)
