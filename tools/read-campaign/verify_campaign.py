#!/usr/bin/python3
"""Checks the tables after a read campaign, with dbfread (a reader independent of our engine).

usage: verify_campaign.py BEFORE_DIR AFTER_DIR WORKERS READS [CLIENT_PREFIXES]
       verify_campaign.py --office BEFORE_DIR AFTER_DIR LOG_DIR

BEFORE_DIR holds the tables as they were before the campaign, AFTER_DIR as they are after it.
Workers 1..WORKERS each read READS new jobs (tools/read-campaign/read_campaign.cc names their
values). CLIENT_PREFIXES, one letter per worker ("PQRS"), defaults to 'O' + worker.

Checks: every record that was there before is unchanged and still live; each table has exactly
WORKERS * READS live records more; every job's property, invoice and client is there exactly
once and holds the values of its report. Prints "VERIFIED ..." and exits 0, or prints each fault
(the first 20 of each kind) and exits 1.

With --office the workstations read new and existing jobs and undid some reads while the
tracking program's stand-in edited and deleted records (read-campaign --office and --tracking,
their logs ws*.log and tracking.log in LOG_DIR). A model of what each step left, from their logs,
the transfer journal (TRANSFER.LOG and its rolled copies, read as JSON) and the tables:
- every undo the journal holds put back exactly the before-images of the read it undid, over a
  record that still held what that read left (its before-image at the write is the read's
  after-image), and a workstation's undos written are as many as it said were done;
- every undo that wrote nothing was refused naming the record (or its lock) or found nothing;
- no edit of the stand-in is lost: its value is still in the record, or a later edit of it, or a
  journalled write that saw it (a later read) changed it; no record it deleted came back;
- no live property names a client that is not there, no key is there twice (but for what was so
  before the campaign).
"""
import collections
import datetime
import glob
import json
import os
import re
import sys

import dbfread


def records(directory, table):
    t = dbfread.DBF('%s/%s.DBF' % (directory, table), char_decode_errors='replace',
                    ignore_missing_memofile=True)
    out = []
    for r in t:
        r = dict(r)
        r.pop('PR_NOTES', None)
        out.append(r)
    return out


def reported(faults):
    """Prints each kind of fault found with its first 20; true when there are any."""
    for kind, texts in sorted(faults.items()):
        print('FAULT %s: %d' % (kind, len(texts)))
        for t in texts[:20]:
            print('  ' + t)
    return bool(faults)


def raw_records(directory, table):
    """Every record of a DBF in physical order: (deleted, {field: stored text, trimmed})."""
    with open(os.path.join(directory, table + '.DBF'), 'rb') as f:
        data = f.read()
    count = int.from_bytes(data[4:8], 'little')
    header = int.from_bytes(data[8:10], 'little')
    length = int.from_bytes(data[10:12], 'little')
    fields, at, offset = [], 32, 1
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b'\0')[0].decode('ascii')
        width = data[at + 16]
        fields.append((name, offset, width, chr(data[at + 11])))
        offset += width
        at += 32
    out = []
    for r in range(count):
        rec = data[header + r * length:header + (r + 1) * length]
        values = {}
        for name, offset, width, kind in fields:
            text = rec[offset:offset + width].decode('cp1252')
            values[name] = text.rstrip(' \0') if kind == 'C' else text.strip()
        out.append((rec[:1] == b'*', values))
    return out


def journal_lines(directory):
    """The journal's lines, oldest first: the rolled copies TRANSFER.LOG.3 to .1, then the
    journal; a copy that begins as the newer file does (a roll cut short) is passed over."""
    files = [os.path.join(directory, 'TRANSFER.LOG' + s) for s in ('', '.1', '.2', '.3')]
    texts, newer_first = [], None
    for path in files:
        if not os.path.exists(path):
            continue
        with open(path, encoding='utf-8') as f:
            lines = [l for l in f.read().split('\n') if l.strip()]
        if lines and lines[0] == newer_first:
            continue
        newer_first = lines[0] if lines else newer_first
        texts.append(lines)
    return [json.loads(l) for lines in reversed(texts) for l in lines]


def office(before_dir, after_dir, log_dir):
    faults = collections.defaultdict(list)

    def fault(kind, text):
        faults[kind].append(text)

    steps = []
    for path in sorted(glob.glob(os.path.join(log_dir, 'ws*.log'))):
        with open(path) as f:
            steps += [json.loads(l) for l in f if l.strip()]
    with open(os.path.join(log_dir, 'tracking.log')) as f:
        edits = [json.loads(l) for l in f if l.strip()]
    lines = journal_lines(after_dir)

    # Each transfer's writes: (table, record) -> its first before-image and its last after-image,
    # with the position of its first and last lines.
    transfers = collections.OrderedDict()
    for n, line in enumerate(lines):
        t = transfers.setdefault(line['transfer'], {
            'command': line['command'], 'job': line['file_num'],
            'workstation': line['workstation'], 'first': n, 'writes': {}})
        t['last'] = n
        w = t['writes'].setdefault((line['table'], line['record']), {})
        if line['stage'] == 'before':
            w.setdefault('before', line['before'])
            w.setdefault('at_write', []).append(line['before'])
        else:
            w['after'] = line['after']
            w['deleted'] = line['deleted']
    reads = [t for t in transfers.values() if t['command'] == 'read']
    # Which read each undo undid, as its workstation said: "... (made TIME on WS) was undone".
    made = collections.defaultdict(list)
    for step in steps:
        if step['kind'] == 'undo' and step['outcome'] == 'undone':
            m = re.search(r'\(made (\S+) on (\S+)\) was undone', step['text'])
            made[('WS%d' % step['worker'], step['job'])].append(m.groups() if m else None)
    undo_count = collections.Counter()
    checked = beyond = 0
    for u in transfers.values():
        if u['command'] != 'undo':
            continue
        said_made = made[(u['workstation'], u['job'])]
        which = said_made.pop(0) if said_made else None
        undo_count[u['workstation']] += 1
        undone = [r for r in reads if r['job'] == u['job'] and r['last'] < u['first'] and
                  (which is None or (lines[r['first']]['time'], r['workstation']) == which)]
        if not undone:
            beyond += 1  # its read went with a copy of the journal rolled away
            continue
        r = undone[-1]
        checked += 1
        for key, w in u['writes'].items():
            read = r['writes'].get(key)
            where = 'undo of %s (%s) wrote %s record %d' % ((u['job'], u['workstation']) + key)
            if read is None:
                fault('undo', where + ', which its read never wrote')
                continue
            if any(b != read['after'] for b in w['at_write']):
                fault('undo', where + ' over %r, the read left %r' % (w['at_write'][0], read['after']))
            if read['before'] is None:
                if not w.get('deleted') or w['after'] != read['after']:
                    fault('undo', where + ': the record the read added is not just marked deleted')
            elif w['after'] != read['before'] or w.get('deleted'):
                fault('undo', where + ': %r is not the read\'s before-image %r' % (w['after'],
                                                                                   read['before']))
    said = collections.Counter()
    outcomes = collections.Counter()
    for step in steps:
        if step['kind'] != 'undo':
            continue
        outcomes[step['outcome']] += 1
        ws = 'WS%d' % step['worker']
        if step['outcome'] == 'undone':
            said[ws] += 1
        elif step['outcome'] == 'refused':
            if not re.search(r"record \d+ of \w+\.DBF|\.DBF: (record \d+'s lock|the table's header "
                             r"lock)|no longer holds all", step['text']):
                fault('refusal', '%s undo of %s: %s' % (ws, step['job'], step['text']))
        elif step['outcome'] != 'nothing':
            fault('refusal', '%s undo of %s %s: %s' % (ws, step['job'], step['outcome'],
                                                       step['text']))
    for ws in set(said) | set(undo_count):
        if said[ws] != undo_count[ws]:
            fault('undo', '%s said %d undos were done, the journal holds %d' % (ws, said[ws],
                                                                                  undo_count[ws]))

    tables = {t: raw_records(after_dir, t) for t in ('PROPERTY', 'CLIENT', 'INVOICE')}
    journalled = collections.defaultdict(list)  # (table, record) -> writes in journal order
    for line in lines:
        if line['stage'] == 'before':
            journalled[(line['table'], line['record'])].append(line)
    later = collections.defaultdict(int)
    for e in edits:
        later[(e['table'], e['record'], e.get('field'))] = e['edit']
    lost = 0
    for e in edits:
        table, record = e['table'], e['record']
        deleted, values = tables[table[:-4]][record - 1]
        if e.get('deleted'):
            if not deleted:
                fault('lost', 'the stand-in deleted %s record %d; it is live again' % (table,
                                                                                     record))
            continue
        field, value = e['field'], e['value']
        if values[field] == value or later[(table, record, field)] != e['edit']:
            continue
        seen = any(l['before'] and l['before'].get(field) == value and l['after'][field] != value
                   for l in journalled[(table, record)])
        if not seen:
            lost += 1
            fault('lost', 'the stand-in set %s record %d %s to %r; it holds %r' % (
                table, record, field, value, values[field]))

    def live_keys(directory, table, field):
        return collections.Counter(v[field].strip().upper() for d, v in raw_records(directory,
                                                                                    table)
                                   if not d)
    for table, field in (('PROPERTY', 'FILE_NUM'), ('CLIENT', 'CLI_NUM'), ('INVOICE', 'INV_NUM')):
        was = live_keys(before_dir, table, field)
        for key, n in live_keys(after_dir, table, field).items():
            if n > 1 and was[key] < n and key:
                fault('twice', '%s %s %s: %d live records' % (table, field, key, n))
    clients, clients_before = (live_keys(d, 'CLIENT', 'CLI_NUM') for d in (after_dir, before_dir))
    dangling_before = {v['FILE_NUM'] for d, v in raw_records(before_dir, 'PROPERTY')
                       if not d and v['CLI_NUM'].strip()
                       and not clients_before[v['CLI_NUM'].strip().upper()]}
    for deleted, v in tables['PROPERTY']:
        cli = v['CLI_NUM'].strip().upper()
        if not deleted and cli and not clients[cli] and v['FILE_NUM'] not in dangling_before:
            fault('client', 'job %s names client %s, which is not there' % (v['FILE_NUM'], cli))

    if reported(faults):
        return 1
    reads_done = [s for s in steps if s['kind'] == 'read']
    kept = sum(' kept: job ' in s.get('text', '') for s in steps)
    # A read's edit that landed on a record another program deleted while the read waited.
    on_deleted = sum(1 for l in lines if l['command'] == 'read' and l['stage'] == 'after'
                     and l['deleted'])
    if on_deleted:
        print('NOTE %d writes of reads landed on a record deleted meanwhile' % on_deleted)
    print('VERIFIED office: %d reads (%d added, %d updated), %d undos (%s; %d kept a client '
          'another job names); %d undos in the journal put back exactly their reads\' '
          'before-images over what the reads left (%d whose read was rolled away); %d stand-in '
          'edits and %d deletions, none lost; no property names a missing client, no key twice'
          % (len(reads_done), sum(s['asked'] == 'add' for s in reads_done),
              sum(s['asked'] == 'update' for s in reads_done), sum(outcomes.values()),
              ', '.join('%d %s' % (n, k) for k, n in sorted(outcomes.items())), kept, checked,
              beyond,
              sum(not e.get('deleted') for e in edits), sum(bool(e.get('deleted')) for e in edits)))
    return 0


def main(argv):
    if len(argv) == 5 and argv[1] == '--office':
        return office(argv[2], argv[3], argv[4])
    if len(argv) not in (5, 6):
        sys.stderr.write(__doc__)
        return 2
    before_dir, after_dir = argv[1], argv[2]
    workers, reads = int(argv[3]), int(argv[4])
    prefixes = argv[5] if len(argv) == 6 else ''.join(chr(ord('O') + w) for w in range(1, 10))
    faults = collections.defaultdict(list)

    def fault(kind, text):
        faults[kind].append(text)

    jobs = []
    for w in range(1, workers + 1):
        for i in range(reads):
            jobs.append({
                'file': 'W%d%05d' % (w, i),
                'client': '%s%04d' % (prefixes[w - 1], i),
                'street': '%d Worker %d Way' % (i, w),
                'name': 'Lender %d-%d' % (w, i),
            })
    clients_expected = collections.Counter(j['client'] for j in jobs)

    tables = {}
    for table in ('PROPERTY', 'CLIENT', 'INVOICE'):
        old, new = records(before_dir, table), records(after_dir, table)
        tables[table] = new
        added = len(set(j['client'] for j in jobs)) if table == 'CLIENT' else len(jobs)
        if len(new) != len(old) + added:
            fault('count', '%s: %d live records, expected %d + %d' % (table, len(new), len(old),
                                                                     added))
        # dbfread yields the live records in physical order; the old ones come first.
        for n, (a, b) in enumerate(zip(old, new)):
            if a != b:
                fault('changed', '%s: live record %d changed: %r -> %r' % (table, n + 1, a, b))

    def index(table, field):
        by_key = collections.defaultdict(list)
        for r in tables[table]:
            by_key[(r[field] or '').strip().upper()].append(r)
        return by_key

    props, invoices, clients = (index('PROPERTY', 'FILE_NUM'), index('INVOICE', 'INV_NUM'),
                                index('CLIENT', 'CLI_NUM'))
    want_property = {
        'ASS_TYPE': 'URAR', 'PR_CITY': 'Atlanta', 'PR_STATE': 'GA', 'PR_ZIP': '30306',
        'PR_COUNTY': 'DeKalb', 'PR_SUBDIV': 'Druid Hills', 'PR_MAP_REF': '18-054-02-011',
        'PR_CENSUS': '0201.00', 'PR_REF_NUM': 'LN-9001', 'PR_OWNER': 'Pat Seller',
        'PR_BORROWR': 'Chris Buyer', 'PR_DFINISH': datetime.date(2025, 3, 7),
        'PR_APPRVAL': 425000,
    }
    want_client = {
        'CLI_STREET': '1201 Peachtree St NE', 'CLI_ADDR2': 'Suite 400',
        'CLI_ADDR3': 'Atlanta, GA 30361', 'CLI_CONT': 'Claire Whitman',
    }
    for j in jobs:
        found = props.get(j['file'], [])
        if len(found) != 1:
            fault('property', '%s: %d property records' % (j['file'], len(found)))
        else:
            want = dict(want_property, FILE_NUM=j['file'], PR_STREET=j['street'],
                        CLI_NUM=j['client'], INV_NUM=j['file'])
            for field, value in want.items():
                if found[0].get(field) != value:
                    fault('value', '%s: %s is %r, the report had %r' % (j['file'], field,
                                                                       found[0].get(field), value))
        n = len(invoices.get(j['file'], []))
        if n != 1:
            fault('invoice', '%s: %d invoice records' % (j['file'], n))
    for client, readers in clients_expected.items():
        found = clients.get(client, [])
        if len(found) != 1:
            fault('client', '%s: %d client records (%d reads added it)' % (client, len(found),
                                                                          readers))
        elif readers == 1:
            w = next(j for j in jobs if j['client'] == client)
            want = dict(want_client, CLI_NUM=client, CLI_LNAME=w['name'], PLAIN_NAME=w['name'])
            for field, value in want.items():
                if found[0].get(field) != value:
                    fault('value', 'client %s: %s is %r, the report had %r' %
                          (client, field, found[0].get(field), value))

    if reported(faults):
        return 1
    print('VERIFIED %d jobs: %d properties, %d invoices, %d clients each present once with the '
          'values of their reports; old records unchanged' %
          (len(jobs), len(jobs), len(jobs), len(clients_expected)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
