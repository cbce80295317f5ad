#!/usr/bin/env python3
"""Checks, without running it, that a program can write what it writes at run
time into its own image: each delay-loaded DLL's module-handle slot and its
import address table, which the delay-load resolver fills at the first call.

A linker may put those tables in a read-only section (binutils 2.44 makes
.idata read-only). Windows maps such a section read-only, so a resolver that
writes there without first making the page writable, as the C runtime's does
in MinGW-w64 12, crashes the program at its first call into the DLL. Where a
table is read-only, the link map beside the program (EXE.map) must show the
project's own resolver, which makes the slot writable while it writes.

  check_delay_slots.py EXE DLL...   (DLL: each delay-loaded DLL's name)
"""
import struct
import sys

SCN_MEM_WRITE = 0x80000000


def read_image(path):
  data = open(path, "rb").read()
  pe = struct.unpack_from("<I", data, 0x3C)[0]
  sections_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
  optional = pe + 24
  directories = optional + 112  # PE32+
  sections = []
  for i in range(sections_count):
    entry = optional + optional_size + 40 * i
    name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
    vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, entry + 8)
    flags = struct.unpack_from("<I", data, entry + 36)[0]
    sections.append((name, rva, max(vsize, raw_size), raw, raw_size, flags))
  return data, directories, sections


def section_of(sections, rva):
  for section in sections:
    if section[1] <= rva < section[1] + section[2]:
      return section
  return None


def c_string(data, sections, rva):
  section = section_of(sections, rva)
  if section is None or rva - section[1] >= section[4]:
    return None
  offset = section[3] + rva - section[1]
  end = data.find(b"\0", offset, section[3] + section[4])
  return data[offset:end].decode("ascii", "replace") if end >= 0 else None


def delay_descriptors(data, sections):
  """(dll name, module-handle slot rva, address table rva) of every delay
  descriptor in the image. MinGW's linker leaves the delay-import directory
  empty, so they are found by their shape: attributes 1 (RVAs), a name that
  ends in .dll, every table inside the image, and the unused fields zero."""
  found = []
  for _, _, _, raw, raw_size, _ in sections:
    for offset in range(raw, raw + raw_size - 31, 4):
      attributes, name_rva, module_rva, iat, int_rva, bound, unload, stamp = struct.unpack_from(
          "<8I", data, offset)
      if attributes != 1 or bound or unload or stamp or not int_rva:
        continue
      dll = c_string(data, sections, name_rva)
      if (dll and dll.lower().endswith(".dll") and section_of(sections, module_rva)
          and section_of(sections, iat) and section_of(sections, int_rva)):
        found.append((dll.lower(), module_rva, iat))
  return found


def resolver_object(map_path):
  """The input file that defines __delayLoadHelper2 in a GNU ld link map, or
  None when the map cannot be read or does not name it."""
  try:
    text = open(map_path, errors="replace").read()
  except OSError:
    return None
  text = text[text.find("Linker script and memory map"):]
  defining = None
  for line in text.splitlines():
    fields = line.split()
    if len(fields) >= 3 and fields[-3].startswith("0x") and fields[-2].startswith("0x"):
      defining = fields[-1]  # an input section: [name,] address, size, file
    elif len(fields) == 2 and fields[0].startswith("0x") and fields[1] == "__delayLoadHelper2":
      return defining
  return None


def main():
  exe, wanted = sys.argv[1], [name.lower() for name in sys.argv[2:]]
  data, directories, sections = read_image(exe)
  if struct.unpack_from("<II", data, directories + 13 * 8)[1]:
    # A linker that fills the delay-import directory (MSVC's) links its own
    # resolver, which makes the tables writable itself.
    print("delay-import directory present: the linker's own resolver")
    return 0
  descriptors = {dll: (module, iat) for dll, module, iat in delay_descriptors(data, sections)}
  resolver = resolver_object(exe + ".map")
  own_resolver = resolver is not None and "delay_load_helper" in resolver
  failures = 0
  for dll in wanted:
    if dll not in descriptors:
      print(f"FAIL: no delay-import descriptor for {dll}")
      failures += 1
      continue
    for what, rva in zip(("module handle", "address table"), descriptors[dll]):
      section = section_of(sections, rva)
      writable = bool(section[5] & SCN_MEM_WRITE)
      state = "writable" if writable else "read-only"
      if writable or own_resolver:
        print(f"delay slots ok: {dll} {what} in {state} {section[0]}")
      else:
        print(f"FAIL: {dll}'s {what} is in read-only {section[0]}, and the resolver is "
              f"{resolver or 'unknown (no link map)'}, not the project's own, which makes it "
              "writable: the first call into it crashes")
        failures += 1
  return 1 if failures else 0


if __name__ == "__main__":
  sys.exit(main())
