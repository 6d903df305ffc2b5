#!/usr/bin/env python3
"""Lays out the sample records of examples/ by driving the station in tmux

    scripts/make_example_layouts.py KUNDEN|BESTELL <working directory>
"""
import subprocess, sys, time

def send(*keys, literal=False, pause=0.08):
    args = ['tmux', 'send-keys', '-t', 'mk'] + (['-l'] if literal else []) + list(keys)
    subprocess.run(args, check=True)
    time.sleep(pause)

def text(s):
    send(s, literal=True, pause=0.15)

def screen():
    return subprocess.run(['tmux', 'capture-pane', '-t', 'mk', '-p'], capture_output=True, text=True).stdout

def make(layout, name, workdir):
    subprocess.run(['tmux', 'kill-session', '-t', 'mk'], capture_output=True)
    subprocess.run(['tmux', 'new-session', '-d', '-s', 'mk', '-x', '100', '-y', '30',
                    f'cd {workdir} && /work/main/build/host/kelbrin4 --terminal; sleep 2'], check=True)
    time.sleep(1.5)
    if 'Möchten' in screen():
        send('Escape')   # keep what is there? start clean instead
        send('F8'); send('DC')
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
    # 5. save it
    send('F2'); send('Enter', pause=0.3); text(name); send('Enter', pause=0.5)
    print(screen())
    send('F1'); text('n'); time.sleep(1)

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

if __name__ == '__main__':
    which = sys.argv[1]
    make(KUNDEN if which == 'KUNDEN' else BESTELL, which, sys.argv[2])
