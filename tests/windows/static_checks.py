#!/usr/bin/env python3
"""Checks of the Windows files that need no Windows: both modules and hosts.

    static_checks.py LINUX_BUILD_DIR SOURCE_DIR

For "Terravane-193 32bit.8bf" (which cannot run on these machines: their
kernel runs no 32-bit code) and "Terravane-193 64bit.8bf": the export table
holds `PluginMain` undecorated, every imported DLL is a system one, and the
PiPL resource read back from the file by tool_check_module names PluginMain
under 'wx86' or '8664', and the dialog's resources are there (the
visual-styles manifest, the open dialog's template with the picture panel);
terravane.exe imports system DLLs only; the interface
structures' static_asserts compile for i686 and x86-64 with Windows packing.
"""
import os
import re
import subprocess
import sys

build, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SYSTEM = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'comdlg32.dll', 'shell32.dll', 'wininet.dll',
          'advapi32.dll', 'ole32.dll', 'msvcrt.dll'}
passed = failed = 0


def report(name, ok, detail=''):
    global passed, failed
    ok = bool(ok)
    passed, failed = passed + ok, failed + (not ok)
    print(('ok    ' if ok else 'FAIL  ') + name + ('' if ok or not detail else '  (' + detail + ')'))


for arch, triple, bits in (('x86', 'i686', 32), ('x64', 'x86_64', 64)):
    folder = os.path.join(build, 'windows', arch)
    module = os.path.join(folder, 'Terravane-193 %dbit.8bf' % bits)
    exe = os.path.join(folder, 'terravane.exe')
    for path in (module, exe):
        if not os.path.isfile(path):
            report(os.path.basename(path), False, 'missing: make windows builds it')
            continue
        dump = subprocess.run(['%s-w64-mingw32-objdump' % triple, '-p', path], capture_output=True, text=True).stdout
        imports = sorted(set(m.lower() for m in re.findall(r'DLL Name: (\S+)', dump)))
        foreign = [d for d in imports if d not in SYSTEM]
        report('%s imports system DLLs only (%s)' % (os.path.basename(path), ', '.join(imports)), bool(imports) and not foreign,
               'also ' + ', '.join(foreign))
        if path == module:
            exports = re.findall(r'^\s*\[\s*\d+\] (\S+)$', dump, re.M)
            report('%s exports PluginMain undecorated' % os.path.basename(path), 'PluginMain' in exports,
                   'exports: ' + ', '.join(exports))
            # The dialog's resources, as windres reads them back: the visual-styles
            # manifest (RT_MANIFEST 2, common controls 6) and the open dialog's
            # extension with control 1119 and the owner-drawn picture panel 123.
            rc = subprocess.run(['%s-w64-mingw32-windres' % triple, '-i', path, '-O', 'rc'], capture_output=True,
                                text=True).stdout
            manifest = re.search(r'^2 24 .*?^END', rc, re.M | re.S)
            report('%s carries the visual-styles manifest' % os.path.basename(path), manifest and re.search(
                r'Microsoft\.Windows\.Common-Controls"" version=""6\.0\.0\.0', manifest.group(0)))
            template = re.search(r'^"FANCY_OPEN4" DIALOGEX 0, 0, 453, 131$.*?^END', rc, re.M | re.S)
            report('%s carries the open dialog\'s picture panel' % os.path.basename(path), template and
                   re.search(r'^\s*LTEXT "", 1119, ', template.group(0), re.M) and
                   re.search(r'^\s*CONTROL "", 123, "STATIC", 0x\w*d, 348, 21, 87, 80$', template.group(0), re.M))
            r = subprocess.run([os.path.join(build, 'tool_check_module'), path, arch], capture_output=True, text=True)
            report('%s property list and terminology: %s' % (os.path.basename(path), (r.stdout or r.stderr).strip()),
                   r.returncode == 0)
    r = subprocess.run(['%s-w64-mingw32-g++-posix' % triple, '-std=c++20', '-fsyntax-only', '-I', os.path.join(source, 'src'),
                        os.path.join(source, 'src', 'host', 'pi', 'pi_layout.cpp')], capture_output=True, text=True)
    report('interface layout static_asserts hold for %s Windows' % triple, r.returncode == 0, r.stderr.strip()[-400:])

print('%d passed, %d failed' % (passed, failed))
sys.exit(1 if failed else 0)
