#!/usr/bin/python3
"""Checks the tables after a read campaign, with dbfread (a reader independent of our engine).

usage: verify_campaign.py BEFORE_DIR AFTER_DIR WORKERS READS [CLIENT_PREFIXES]

BEFORE_DIR holds the tables as they were before the campaign, AFTER_DIR as they are after it.
Workers 1..WORKERS each read READS new jobs (tools/read-campaign/read_campaign.cc names their
values). CLIENT_PREFIXES, one letter per worker ("PQRS"), defaults to 'O' + worker.

Checks: every record that was there before is unchanged and still live; each table has exactly
WORKERS * READS live records more; every job's property, invoice and client is there exactly
once and holds the values of its report. Prints "VERIFIED ..." and exits 0, or prints each fault
(the first 20 of each kind) and exits 1.
"""
import collections
import datetime
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


def main(argv):
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

    if faults:
        for kind, texts in sorted(faults.items()):
            print('FAULT %s: %d' % (kind, len(texts)))
            for t in texts[:20]:
                print('  ' + t)
        return 1
    print('VERIFIED %d jobs: %d properties, %d invoices, %d clients each present once with the '
          'values of their reports; old records unchanged' %
          (len(jobs), len(jobs), len(jobs), len(clients_expected)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
