"""Black-box tests of kept-records files the program could not have written, and of what it does
when no folder takes what it sets aside: the real program (the main screen of records_keep_test)
with files of ended runs planted beside the database.

Cases (the argument):
  sparse_2_5gb      a 2.5 GB sparse file at the kept file's name: the window appears and answers all
                    along, the file is set aside by a new name (not read, not copied), the log and
                    the learner are told
  many_files        5,000 small files of ended runs: the window answers while they are read, each
                    record saved once
  both_disks_full   the data disk and the temporary and runtime folders full, with a file holding an
                    unsound record and one cut short: nothing removed, the notice says where each
                    is; once there is room the next start takes the rest"""
import json
import os
import re
import shutil
import subprocess
import sys
import time

from harness import answers, check, run_test
from kept_file_test import (answer_records, check_answering, count_answers, data_folder, plant_own, record,
                            records_text, run_case, side_files, start_watched, watch_recovery)
from records_keep_test import ROW, end_by_close, fill, kept_files, mount_small_disk, start

# A start holding a 2.5 GB file in memory needs more than this; one that reads its start, far less.
PEAK_RSS_BOUND_KB = 1024 * 1024


def peak_rss_kb(pid):
    with open('/proc/%d/status' % pid) as f:
        return int(re.search(r'VmHWM:\s+(\d+) kB', f.read()).group(1))


def sparse(path, size):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    try:
        os.ftruncate(fd, size)
    finally:
        os.close(fd)


def ready_line(run):
    return next((l for l in run.output().splitlines() if 'probe ready' in l), None)


def start_pinged(display, scratch, program):
    """Starts the program and pings its windows until its main screen is ready: (run, ready line,
    pinger, seconds to ready)."""
    run, ready, pinger = start_watched(display, scratch, program, ready_line, 'the start',
                                       args=['--log-console'], timeout=120)
    return run, ready, pinger, time.time() - run.started


def sparse_2_5gb(display, scratch, program):
    path = os.path.join(data_folder(scratch), 'Brisola.unsaved.json')
    size = 2500 * 1000 * 1000
    sparse(path, size)
    inode = os.stat(path).st_ino
    run, ready, pinger, took = start_pinged(display, scratch, program)
    peak = peak_rss_kb(run.pid)
    print('ready %.2f s after the start, peak RSS %d MB; the window answered %d pings, the longest after %.3f s'
          % (took, peak // 1024, pinger.answered, pinger.longest))
    check(not os.path.exists(path), 'the file is still at its name')
    aside = side_files(scratch, 'unreadable')
    check(len(aside) == 1, 'set aside: %s' % aside)
    st = os.stat(aside[0])
    check(st.st_ino == inode and st.st_size == size, 'not the same file: %s' % aside[0])
    check(st.st_blocks * 512 < (1 << 20), 'written: %d blocks' % st.st_blocks)
    said = [l for l in run.output().splitlines() if '%s is larger than this program reads' % path in l]
    check(len(said) == 1 and ('set aside as %s' % aside[0]) in said[0], 'the log says: %s' % said)
    check(aside[0] in ready and 'larger than this program reads (256 MiB)' in ready and 'damaged' not in ready,
          'the learner is not told, or not the truth: %s' % ready)
    check(peak < PEAK_RSS_BOUND_KB, 'peak RSS %d kB' % peak)
    check_answering(pinger, took)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s\n%s' % (rc, run.output()[-3000:]))
    print('a 2.5 GB sparse kept file: set aside by a new name, unread, the window up and answering')


def many_files(display, scratch, program):
    n = 5000
    folder = data_folder(scratch)
    for i, r in enumerate(answer_records(n)):
        plant_own(os.path.join(folder, 'Brisola.f%d.unsaved.json' % i), [r])
    run, line, pinger = watch_recovery(display, scratch, program, '%d files' % n)
    took = int(re.search(r'\((\d+) ms\)', line).group(1)) / 1000.0
    print(line)
    print('the window answered %d pings, the longest after %.3f s' % (pinger.answered, pinger.longest))
    check(count_answers(scratch) == (n, n), 'answers: %s of %d' % (count_answers(scratch), n))
    check(not kept_files(scratch), '%d kept files left' % len(kept_files(scratch)))
    check_answering(pinger, took)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    print('%d small files of ended runs: each record saved once, the window answering' % n)


def fill_blocks(path):
    """Writes until no block is left; files can still be made (the single-instance guard's socket)."""
    try:
        with open(os.path.join(path, 'filler'), 'wb') as f:
            while True:
                f.write(b'\0' * 65536)
                f.flush()
    except OSError:
        pass


def both_disks_full(display, scratch, program):
    disks = [scratch.data, scratch.tmp, scratch.runtime]
    for disk in disks:
        if not mount_small_disk(disk, '2m'):
            print('SKIP: no tmpfs here')
            sys.exit(77)
    try:
        os.chmod(scratch.runtime, 0o700)
        # the database and its tables first
        run, _ = start(display, scratch, program)
        check(end_by_close(display, run) == 0, 'exit status of the first start')
        folder = data_folder(scratch)
        mixed = os.path.join(folder, 'Brisola.mixed.unsaved.json')
        wrong = record('answer', variant=ROW[0], value='0.75')
        plant_own(mixed, [record('answer', variant=ROW[0], value=0.75, id='m-1'), wrong])
        with open(mixed, 'rb') as f:
            mixed_text = f.read()
        cut = os.path.join(folder, 'Brisola.cut.unsaved.json')
        cut_text = records_text([record('answer', variant=ROW[0], value=0.5)])[:50]
        plant_own(cut, [])
        with open(cut, 'wb') as f:
            f.write(cut_text)
        os.remove(scratch.log)  # emptied by the next start, it would give back room
        fill(scratch.data)
        fill(scratch.tmp)
        fill_blocks(scratch.runtime)

        run, ready, _, _ = start_pinged(display, scratch, program)
        print(ready)
        with open(mixed, 'rb') as f:
            check(f.read() == mixed_text, 'the file with the unsound record was changed')
        aside = side_files(scratch, 'unreadable')
        check(len(aside) == 1 and not os.path.exists(cut), 'the file cut short: %s' % aside)
        with open(aside[0], 'rb') as f:
            check(f.read() == cut_text, 'set aside: not the file cut short')
        check(answers(scratch) == [], 'answers: %s' % answers(scratch))
        check('still in %s' % mixed in ready, 'not told where the records are: %s' % ready)
        check('kept in %s' % aside[0] in ready, 'not told where the damaged file is: %s' % ready)
        check("program's log" not in ready, 'told of the log: %s' % ready)
        end_by_close(display, run)

        for disk in disks:
            for name in ('filler', 'blocks'):
                p = os.path.join(disk, name)
                if os.path.isdir(p):
                    shutil.rmtree(p)
                elif os.path.exists(p):
                    os.remove(p)
        run, ready = start(display, scratch, program)
        check(answers(scratch) == [ROW], 'after the disks were freed: %s' % answers(scratch))
        check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
        aside = side_files(scratch, 'unreadable')
        check(len(aside) == 2, 'set aside: %s' % aside)
        records = []
        for p in aside:
            with open(p, 'rb') as f:
                text = f.read()
            if text != cut_text:
                records = json.loads(text)['records']
        check(records == [wrong], 'the unsound record set aside: %s' % records)
        check('It has been saved now.' in ready and 'could not be recovered' in ready,
              'the learner is not told: %s' % ready)
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    finally:
        for disk in disks:
            subprocess.run(['umount', '-l', disk], stderr=subprocess.DEVNULL)
    print('both disks full: nothing removed, the learner told where each file is; the next start took the rest')


CASES = {'sparse_2_5gb': sparse_2_5gb, 'many_files': many_files, 'both_disks_full': both_disks_full}


if __name__ == '__main__':
    run_test(lambda: run_case(CASES))
