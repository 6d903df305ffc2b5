#!/usr/bin/env python3
"""Lays out the sample records of examples/ by driving the station in tmux

    scripts/make_example_layouts.py [--station PATH] [--into DIR] [NAME ...]

NAME is KUNDEN, BESTELL or STORNO; without one, all three are made. The
station types each layout in a scratch working directory that holds a copy of
examples/Tab (the tables and address data the fields are tied to), gives it
its program keys and saves it with them; the .DEF files then go to DIR
(examples/ unless given). The station is PATH, else $KELBRIN4, else
build/host/kelbrin4 of this repository; it needs the terminal (ncurses).

Program keys switch only between layouts of one record length, so they come
in groups: BESTELL and STORNO (46 characters each; order lines and their
cancellations share one record file) carry Alt+1 = BESTELL and
Alt+2 = STORNO; KUNDEN (122 characters) carries Alt+1 = KUNDEN alone, so that
loading it also puts away the keys of the others. A name asked for brings the
rest of its group along, since a key can only be given to a file that exists.
"""
import argparse, os, shlex, shutil, struct, subprocess, sys, tempfile, time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOCKET = 'kelbrin-examples'   # a tmux server of our own, apart from the user's
SESSION = 'mk'

def tmux(*args, **kw):
    return subprocess.run(['tmux', '-L', SOCKET] + list(args), **kw)

def send(*keys, literal=False, pause=0.08):
    tmux('send-keys', '-t', SESSION, *(['-l'] if literal else []), *keys, check=True)
    time.sleep(pause)

def text(s):
    send(s, literal=True, pause=0.15)

def screen():
    return tmux('capture-pane', '-t', SESSION, '-p', capture_output=True, text=True).stdout

def running():
    return tmux('has-session', '-t', SESSION, capture_output=True).returncode == 0

def start(station, workdir):
    """Starts the station in workdir with an empty layout, no records and no program keys."""
    tmux('kill-session', '-t', SESSION, capture_output=True)
    tmux('new-session', '-d', '-s', SESSION, '-x', '100', '-y', '30',
         f'cd {shlex.quote(workdir)} && {shlex.quote(station)} --terminal; sleep 1', check=True)
    time.sleep(1.5)
    if 'Möchten' in screen():
        send('Escape')   # what the last run left: start clean instead
        send('F8'); send('DC', pause=0.3)

def stop():
    """F1, N: the station ends; the saved files stay."""
    send('F1'); text('n')
    for _ in range(50):
        if not running():
            return
        time.sleep(0.1)
    tmux('kill-session', '-t', SESSION, capture_output=True)

def make(station, layout, name, workdir):
    start(station, workdir)
    fields = layout['fields']
    # 1. the fields, one after the other
    for f in fields:
        text(f['type'].lower() if f['type'] != 'T' else '+')
        text('+%d' % f['length']); send('Enter', pause=0.2)
    # 2. each field to its place, the last one first
    starts = []
    s = 1
    for f in fields:
        starts.append(s); s += f['length']
    for k in range(len(fields) - 1, -1, -1):
        f = fields[k]
        send('Home')
        for _ in range(k): send('Down')
        send('F4')
        row = (starts[k] - 1) // 80 + 2
        for _ in range(f['row'] - row): send('Down')
        send('Home')
        for _ in range(f['col'] - 1): send('Right', pause=0.03)
        send('Escape', pause=0.2)
    # 3. ranges, tables and address columns
    for k, f in enumerate(fields):
        if not any(x in f for x in ('range', 'digits', 'table', 'address')):
            continue
        send('Home')
        for _ in range(k): send('Down')
        if 'range' in f:
            send('F5'); text(str(f['range'][0])); send('Enter'); text(str(f['range'][1])); send('Enter', pause=0.2)
            send('Home')
            for _ in range(k): send('Down')
        if 'digits' in f:
            send('F5'); send('F7'); text(f['digits']); send('Enter', pause=0.2); send('F5'); send('F6'); send('Escape')
            send('Home')
            for _ in range(k): send('Down')
        if 'table' in f:
            text('t'); text(f['table']); send('Enter', pause=0.3)
        if 'address' in f:
            text(str(f['address']))
            time.sleep(0.3)
    # 4. the labels
    send('F6')
    for row, col, label in layout['labels']:
        send('PageUp'); send('Home')
        for _ in range(row - 2): send('Down', pause=0.03)
        for _ in range(col - 1): send('Right', pause=0.02)
        text(label)
    send('Escape', pause=0.3)
    # 5. save it, without program keys for now
    send('F2'); send('Enter', pause=0.3); text(name); send('Enter', pause=0.5)
    print(screen())
    stop()

def give_keys(station, group, workdir):
    """Puts the layouts of group on Alt+1, Alt+2, ... and saves each of them with these keys."""
    start(station, workdir)
    # In the file browser of F3, Alt+n puts the highlighted file on key n;
    # a letter highlights the next file beginning with it.
    send('F3'); send('Enter', pause=0.4)
    for k, name in enumerate(group):
        text(name[0]); send('M-%d' % (k + 1), pause=0.3)
    send('Escape', pause=0.3)
    # Alt+n loads the layout (a file saved without keys leaves them as they
    # are); F4 in the name prompt of F2 saves it with them.
    for k, name in enumerate(group):
        send('M-%d' % (k + 1), pause=0.5)
        send('F2'); send('Enter', pause=0.3); send('F4'); text(name); send('Enter', pause=0.5)
    print(screen())
    stop()

def read_layout(path):
    """Record length and program keys of a definition file."""
    data = open(path, 'rb').read()
    if data[:8] != b'FeldDef2':
        raise ValueError(f'{path}: no definition file')
    count = struct.unpack_from('<H', data, 8)[0]
    length = 0
    for n in range(count):
        position, _, size = struct.unpack_from('<hhh', data, 10 + 15 * n)
        length = max(length, position + size - 1)
    keys_at = 10 + 15 * count + 2000
    keys = []
    for k in range(12):
        slot = data[keys_at + 256 * k: keys_at + 256 * (k + 1)]
        keys.append(slot[1:1 + slot[0]].decode('cp850'))
    return length, keys

KUNDEN = {
    'fields': [
        {'type': 'C', 'length': 6, 'row': 4, 'col': 20},
        {'type': 'A', 'length': 10, 'row': 6, 'col': 20, 'table': 'anrede'},
        {'type': 'A', 'length': 30, 'row': 7, 'col': 20},
        {'type': 'A', 'length': 30, 'row': 9, 'col': 20, 'address': 1},
        {'type': 'N', 'length': 5, 'row': 10, 'col': 20, 'address': 3},
        {'type': 'A', 'length': 25, 'row': 10, 'col': 27, 'address': 4},
        {'type': 'A', 'length': 12, 'row': 12, 'col': 20, 'table': 'zahlart'},
        {'type': 'N', 'length': 2, 'row': 13, 'col': 20, 'range': (0, 30)},
        {'type': 'E', 'length': 2, 'row': 24, 'col': 79},
    ],
    'labels': [
        (2, 3, 'Kundenstamm'),
        (4, 3, 'Kundennummer'),
        (6, 3, 'Anrede'),
        (7, 3, 'Name'),
        (9, 3, 'Straße Hausnr.'),
        (10, 3, 'PLZ Ort'),
        (12, 3, 'Zahlart'),
        (13, 3, 'Rabatt %'),
    ],
}

BESTELL = {
    'fields': [
        {'type': 'T', 'length': 6, 'row': 4, 'col': 20},
        {'type': 'C', 'length': 6, 'row': 5, 'col': 20},
        {'type': 'R', 'length': 8, 'row': 7, 'col': 20},
        {'type': 'N', 'length': 4, 'row': 8, 'col': 20, 'range': (1, 9999)},
        {'type': 'A', 'length': 10, 'row': 9, 'col': 20, 'table': 'farbe'},
        {'type': 'N', 'length': 1, 'row': 10, 'col': 20, 'digits': '0135'},
        {'type': 'J', 'length': 9, 'row': 12, 'col': 20},
        {'type': 'E', 'length': 2, 'row': 24, 'col': 79},
    ],
    'labels': [
        (2, 3, 'Bestellung'),
        (4, 3, 'Laufende Nr.'),
        (5, 3, 'Kundennummer'),
        (7, 3, 'Artikel'),
        (8, 3, 'Menge'),
        (9, 3, 'Farbe'),
        (10, 3, 'Versand (0,1,3,5)'),
        (12, 3, 'Betrag in Cent'),
    ],
}

# A cancelled or returned order line, in the same record file as the orders:
# the same 46 characters, with the counter, customer, article, quantity and
# colour where BESTELL has them. Character 35 tells the records apart: an
# order holds its way of dispatch there (0, 1, 3, 5), a cancellation its kind
# (7 cancelled before delivery, 8 sent back, 9 a credit without goods coming
# back); the amount is what the customer is credited.
STORNO = {
    'fields': [
        {'type': 'T', 'length': 6, 'row': 4, 'col': 20},
        {'type': 'C', 'length': 6, 'row': 5, 'col': 20},
        {'type': 'R', 'length': 8, 'row': 7, 'col': 20},
        {'type': 'N', 'length': 4, 'row': 8, 'col': 20, 'range': (1, 9999)},
        {'type': 'A', 'length': 10, 'row': 9, 'col': 20, 'table': 'farbe'},
        {'type': 'N', 'length': 1, 'row': 10, 'col': 20, 'range': (7, 9)},
        {'type': 'J', 'length': 9, 'row': 12, 'col': 20},
        {'type': 'E', 'length': 2, 'row': 24, 'col': 79},
    ],
    'labels': [
        (2, 3, 'Storno'),
        (4, 3, 'Laufende Nr.'),
        (5, 3, 'Kundennummer'),
        (7, 3, 'Artikel'),
        (8, 3, 'Menge'),
        (9, 3, 'Farbe'),
        (10, 3, 'Art (7,8,9)'),
        (12, 3, 'Betrag in Cent'),
        (15, 3, 'Art: 7 Storno, 8 Rücksendung, 9 Gutschrift'),
    ],
}

LAYOUTS = {'KUNDEN': KUNDEN, 'BESTELL': BESTELL, 'STORNO': STORNO}

# Layouts of one record length, on the program keys Alt+1, Alt+2, ... in
# this order.
GROUPS = [['BESTELL', 'STORNO'], ['KUNDEN']]

def record_length(layout):
    return sum(f['length'] for f in layout['fields'])

def main():
    parser = argparse.ArgumentParser(description='Makes the sample layouts with the station in tmux.')
    parser.add_argument('--station', default=os.environ.get('KELBRIN4', os.path.join(REPO, 'build', 'host', 'kelbrin4')),
                        help='the station kelbrin4 (default: $KELBRIN4, else build/host/kelbrin4)')
    parser.add_argument('--into', default=os.path.join(REPO, 'examples'),
                        help='where the .DEF files go (default: examples/)')
    parser.add_argument('names', nargs='*', metavar='NAME', help='KUNDEN, BESTELL or STORNO (default: all)')
    args = parser.parse_args()
    unknown = [name for name in args.names if name not in LAYOUTS]
    if unknown:
        parser.error(f'no such layout: {", ".join(unknown)}')
    station = os.path.abspath(args.station)
    if not os.access(station, os.X_OK):
        sys.exit(f'no station at {station}; build the target kelbrin4 or name it with --station')
    wanted = set(args.names or LAYOUTS)
    groups = [g for g in GROUPS if wanted & set(g)]
    for group in groups:
        if len({record_length(LAYOUTS[name]) for name in group}) != 1:
            sys.exit(f'the layouts {", ".join(group)} differ in record length: program keys would refuse them')

    with tempfile.TemporaryDirectory(prefix='kelbrin-examples.') as workdir:
        shutil.copytree(os.path.join(REPO, 'examples', 'Tab'), os.path.join(workdir, 'Tab'))
        try:
            for group in groups:
                for name in group:
                    make(station, LAYOUTS[name], name, workdir)
                give_keys(station, group, workdir)
        finally:
            tmux('kill-server', capture_output=True)
        failed = False
        for group in groups:
            keys = [name + '.DEF' for name in group] + [''] * (12 - len(group))
            for name in group:
                path = os.path.join(workdir, name + '.DEF')
                length, found = read_layout(path)
                ok = length == record_length(LAYOUTS[name]) and found == keys
                failed |= not ok
                shown = ', '.join(f'Alt+{k + 1} = {t}' for k, t in enumerate(found) if t)
                print(f'{name}.DEF: {length} characters, {shown or "no program keys"}{"" if ok else "  <- not as planned"}')
                if ok:
                    shutil.copyfile(path, os.path.join(args.into, name + '.DEF'))
        if failed:
            sys.exit('not every layout came out as planned; those were not copied')

if __name__ == '__main__':
    main()
