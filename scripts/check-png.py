#!/usr/bin/python3
"""Decodes every PNG given with an independent decoder (Pillow) and checks that it is not empty."""
import sys
from PIL import Image

bad = 0
files = sys.argv[1:]
if not files:
    print("no PNG files given"); sys.exit(1)
for path in files:
    try:
        with Image.open(path) as im:
            im.load()
            if im.width < 1 or im.height < 1 or len(set(im.getdata())) < 2:
                raise ValueError("blank picture")
            print(f"ok {path}: {im.width}x{im.height} {im.mode}")
    except Exception as e:  # noqa: BLE001 - every failure is reported the same way
        print(f"FAILED {path}: {e}"); bad = 1
sys.exit(bad)
