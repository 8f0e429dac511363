#!/usr/bin/env python3
"""Reads `quorvane-tables dump` of a reservation table from standard input and prints the
first facility among the arguments with nothing booked on DATE (CCYYMMDD) between FROM and
TO (clock values hhmm) -- what a person sees by looking at each court's list of the day.

    freecourt.py DATE FROM TO NAME...
"""
import csv
import sys


def main(argv):
    date, start, end, names = argv[1], int(argv[2]), int(argv[3]), argv[4:]
    busy = set()
    for row in csv.DictReader(sys.stdin):
        if row["DELETED"] != "0" or row["DATE"] != date:
            continue
        s = int(row["STARTHH"]) * 100 + int(row["STARTMM"])
        e = int(row["ENDHH"]) * 100 + int(row["ENDMM"])
        if s < end and start < e:
            busy.add(row["ROOMNAME"].strip())
    for name in names:
        if name not in busy:
            print(name)
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
