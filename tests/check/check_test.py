#!/usr/bin/env python3
"""End-to-end tests of nolm-check.exe under Wine: a few game folders, each
built to exercise some of the shortcut's decisions and the checker's warning
families, checked by exit code, --json fields and warning codes; its preview
pictures against a capture of the shortcut's real splash window; and launcher
releases, from a folder and from the HTTPS fixture server, unpacked by the real
7zr.exe, a good one and the faults grouped into a few runs, with and without
the publisher's keys. Every Wine process
start costs ~2 s, so each folder and release runs once in setUpClass.

  check_test.py --state STATE --testenv testenv.sh --exe nolm-check.exe
                --shortcut nolm-shortcut.exe --data TESTDATA [unittest args]
"""

import argparse
import base64
import getpass
import glob
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import time
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness as h  # noqa: E402

ARGS = None  # set by main()
BAR_ROWS = list(range(344, 350))
LAUNCHER = '"C:\\users\\%s\\Nolm\\Launcher\\launcher.exe"' % getpass.getuser()


def png(width, height, alpha=None):
  """A flat PNG: RGB, or RGBA with every pixel at `alpha`."""
  def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
  pixel = b"\x20\x40\x60" + (b"" if alpha is None else bytes([alpha]))
  header = struct.pack(">IIBBBBB", width, height, 8, 2 if alpha is None else 6, 0, 0, 0)
  return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
          chunk(b"IDAT", zlib.compress((b"\x00" + pixel * width) * height)) + chunk(b"IEND", b""))


# name: (config.json bytes or None for no nolm folder, {file under nolm/: bytes})
FOLDERS = {
    "clean": ('{"game": "my-game", "name": "Caf\u00e9 Racer"}'.encode(),
              {"splash.png": png(1920, 1080), "title.png": png(600, 100, alpha=128)}),
    # The scan takes the nested "game" and, for the number, the next quoted text.
    "traps": (b'{"build": {"game": "old-slug"}, "game": "my-game", "name": 7, "id": "x"}', {}),
    "quote": (b'{"game": "my-game", "name": "The \\"Best\\" Game"}', {}),
    "escapes": (b'{"game": "my-game", "name": "Caf\\u00e9"}', {}),
    # A stray NUL byte does not make UTF-8 text UTF-16.
    "not-json": (b'{"game": "my-game", "name": "Racer",}\n\0', {}),
    # Loading goes by content, not name: PNG bytes stand in for a JPEG.
    "fallback": (b'{"game": "my-game"}',
                 {"splash.png": b"not an image", "splash.jpg": png(100, 50),
                  "title.png": png(280, 105)}),
    "refused": ('{"name": "No Game", "game": "jeu-\u00e9t\u00e9"}'.encode(), {}),
    "truncated": (b'{"pad": "' + b"x" * 70000 + b'", "game": "late"}', {}),
    # Past what the check reads whole (16 MiB): no JSON verdict on part of it.
    "huge": (b'{"game": "my-game", "pad": "' + b"x" * (17 << 20) + b'"}', {}),
    # Shown in a warning without recursing once per level.
    "deep": (b'{"game": "my-game", "name": ' + b"[" * 100000 + b"]" * 100000 + b"}", {}),
    "utf16": ('{"game": "my-game"}'.encode("utf-16-le"), {}),
    "none": (None, {}),
}


def run(*args, program=None):
  """(exit code, output) of nolm-check.exe (or `program`), started in the
  checker's folder, under Wine; the test environment hands back stdout and
  stderr together, through a file, since Wine's services keep inherited pipes
  open."""
  out_path = os.path.join(ARGS.work, "out.txt")
  with open(out_path, "wb") as out:
    code = subprocess.run([ARGS.testenv, "run", ARGS.state, program or ARGS.exe] + list(args),
                          cwd=os.path.dirname(ARGS.exe), stdin=subprocess.DEVNULL, stdout=out,
                          stderr=subprocess.DEVNULL, timeout=120).returncode
  with open(out_path, "rb") as out:
    return code, out.read().decode("utf-8")


def windows_path(path):
  return "Z:" + os.path.abspath(path).replace("/", "\\")


def png_rows(path):
  """(channels, rows) of an 8-bit RGB or RGBA PNG without interlacing; each
  row is the bytes of its pixels, filters undone."""
  with open(path, "rb") as f:
    data = f.read()
  at, idat = 8, b""
  while at < len(data):
    length, tag = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    if tag == b"IHDR":
      width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
    idat += body if tag == b"IDAT" else b""
    at += 12 + length
  assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour, interlace)
  channels = 4 if colour == 6 else 3
  raw, stride = zlib.decompress(idat), width * channels
  rows, above = [], bytearray(stride)
  for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride if kind else 0):
      left = line[x - channels] if x >= channels else 0
      corner = above[x - channels] if x >= channels else 0
      guess = left + above[x] - corner
      paeth = min((abs(guess - left), 0, left), (abs(guess - above[x]), 1, above[x]),
                  (abs(guess - corner), 2, corner))[2]
      line[x] = (line[x] + (0, left, above[x], (left + above[x]) // 2, paeth)[kind]) & 0xFF
    rows.append(bytes(line))
    above = line
  return channels, rows


def rgb_rows_of_png(path):
  channels, rows = png_rows(path)
  return channels, [(r[0::channels], r[1::channels], r[2::channels]) for r in rows]


def rgb_rows_of_capture(path):
  """The rows of a 24-bit BMP capture, top first, as (red, green, blue) bytes."""
  bitmap = h.Bitmap(path)
  rows = []
  for y in range(bitmap.height):
    row = bitmap.height - 1 - y if bitmap.bottom_up else y
    bgr = bitmap.pixels[row * bitmap.stride:row * bitmap.stride + bitmap.width * 3]
    rows.append((bgr[2::3], bgr[1::3], bgr[0::3]))
  return rows


# What a launcher release holds; the bytes do not matter, only the names.
LAUNCHER_FILES = {"launcher.exe": b"MZ" + bytes(range(256)) * 40, "launcher.pck": b"NOLMPCK\n"}
EXTRACTOR_PATH = "ip7z/7zip/releases/download/26.01/7zr.exe"
KEYS = {}  # "a", "b": base64 public keys; "pem": a's public key file
SIGNATURE = None  # the good release's signature line, by key a


def make_archive(path, inside="", options=(), read_only=None):
  """A 7z archive of LAUNCHER_FILES, under the folder `inside` when given,
  with a read-only file at the path `read_only` too."""
  source = path + ".files"
  os.makedirs(os.path.join(source, inside))
  for name, content in LAUNCHER_FILES.items():
    with open(os.path.join(source, inside, name), "wb") as f:
      f.write(content)
  if read_only:
    os.makedirs(os.path.dirname(os.path.join(source, read_only)))
    with open(os.path.join(source, read_only), "wb") as f:
      f.write(b"\n")
    os.chmod(os.path.join(source, read_only), 0o444)
  subprocess.run([h.SEVEN_ZIP, "a", "-bd", "-bso0", "-bsp0"] + list(options) +
                 [os.path.abspath(path), inside or "."], cwd=source, check=True)
  shutil.rmtree(source)


def make_release(name, manifest, **archive):
  """A release folder as it will be served: launcher/version.json and launcher.7z."""
  folder = os.path.join(ARGS.work, "releases", name)
  os.makedirs(os.path.join(folder, "launcher"))
  with open(os.path.join(folder, "launcher", "version.json"), "wb") as f:
    f.write(manifest)
  make_archive(os.path.join(folder, "launcher", "launcher.7z"), **archive)
  return folder


def make_key(name):
  """(private PEM path, public PEM path, base64 of the public DER) of a new
  P-256 key pair, kept in the test's own folder."""
  private, public = (os.path.join(ARGS.work, "releases", name + end)
                     for end in (".private.pem", ".pem"))
  subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                  "ec_paramgen_curve:P-256", "-out", private], check=True)
  subprocess.run(["openssl", "pkey", "-in", private, "-pubout", "-out", public], check=True)
  with open(public) as f:
    return private, public, "".join(f.read().splitlines()[1:-1])


def fingerprint(key):
  return hashlib.sha256(base64.b64decode(key)).hexdigest()[:16]


def sign(folder, private, manifest=None, lines=()):
  """Writes `manifest` (bytes, %s for the archive's SHA-256, %z for its size)
  when given, then launcher/version.json.sig: `lines`, then the signature of
  version.json by `private`. Returns that signature line."""
  launcher = os.path.join(folder, "launcher")
  if manifest:
    with open(os.path.join(launcher, "launcher.7z"), "rb") as f:
      archive = f.read()
    h.write_bytes(os.path.join(launcher, "version.json"),
                  manifest.replace(b"%s", hashlib.sha256(archive).hexdigest().encode())
                  .replace(b"%z", str(len(archive)).encode()))
  der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", private,
                        os.path.join(launcher, "version.json")],
                       check=True, stdout=subprocess.PIPE).stdout
  line = base64.b64encode(der).decode()
  h.write_bytes(os.path.join(launcher, "version.json.sig"),
                "".join(l + "\r\n" for l in list(lines) + [line]).encode())
  return line


def serve(host, path, source=None, content=None):
  """Puts a file in the fixture server's tree for `host`."""
  target = os.path.join(ARGS.state, "www", "files", host, path)
  os.makedirs(os.path.dirname(target), exist_ok=True)
  if source:
    shutil.copyfile(source, target)
  else:
    with open(target, "wb") as f:
      f.write(content)


def set_rules(rules):
  with open(os.path.join(ARGS.state, "www", "rules.json"), "w") as f:
    json.dump(rules, f)


def release_runs():
  """(exit code, JSON report) of each release check, by name."""
  extractor = os.path.join(ARGS.data, "7zr.exe")
  global SIGNATURE
  private, KEYS["pem"], KEYS["a"] = make_key("a")
  _, _, KEYS["b"] = make_key("b")
  signed_manifest = b'{"version": "1.4.2", "sha256": "%s", "size": "%z"}'
  good = make_release("good", b"")
  SIGNATURE = sign(good, private, signed_manifest)
  # Signed, then given another archive.
  swapped = make_release("swapped", b"", inside="Launcher-1.0")
  sign(swapped, private, signed_manifest)
  # Signed by a key the signed build pins; and not signed at all.
  pinned = make_release("pinned", b"")
  sign(pinned, os.path.join(ARGS.data, "release-keys", "a.pem"), signed_manifest)
  unsigned = make_release("unsigned", b'{"version": "1.4.2"}')
  shutil.copyfile(good + "/launcher/launcher.7z", swapped + "/launcher/launcher.7z")
  releases = {
      # launcher.exe in a top-level folder; the scan takes the nested "version".
      "folder": make_release("folder", b'{"build": {"version": "0.9"}, "version": "1.0"}',
                             inside="Launcher-1.0"),
      "ppmd": make_release("ppmd", b"<!DOCTYPE html><title>502 Bad Gateway</title>",
                           options=["-m0=PPMd"]),
      "encrypted": make_release("encrypted", b'{"version": 2}', options=["-pSECRET"]),
      # The installation's last step cannot delete it, so it never counts as done.
      "marker": make_release("marker", b'{"version": "1"}', read_only="temp/install.incomplete"),
  }
  # A line that is no signature before one that verifies; no "sha256".
  sign(releases["marker"], private, lines=["not a signature"])
  key_a = ("--key", windows_path(KEYS["pem"]))
  runs = {"good": run("--json", "--release", windows_path(good), "--extractor",
                      windows_path(extractor))}
  for name, folder, keys in [("folder", releases["folder"], ()), ("ppmd", releases["ppmd"], ()),
                             ("encrypted", releases["encrypted"], key_a),
                             ("marker", releases["marker"], key_a), ("swapped", swapped, ()),
                             ("signed", good, ("--key", KEYS["b"]) + key_a),
                             ("wrong-key", good, ("--key", KEYS["b"]))]:
    runs[name] = run("--json", "--release", windows_path(folder), "--extractor",
                     windows_path(extractor), *keys)
  runs["signed-text"] = run("--release", windows_path(good), "--extractor",
                            windows_path(extractor), *key_a)
  runs["swapped-keyed"] = run("--json", "--release", windows_path(swapped), "--extractor",
                              windows_path(extractor), *key_a)
  # The checker built with keys decides with them unless --key replaces them.
  for name, folder, keys in [("pinned", pinned, ()), ("pinned-unsigned", unsigned, ()),
                             ("pinned-replaced", good, key_a)]:
    runs[name] = run("--json", "--release", windows_path(folder), "--extractor",
                     windows_path(extractor), *keys, program=ARGS.signed_exe)
  # A private key given by mistake.
  runs["bad-key"] = run("--release", windows_path(good), "--key", windows_path(private))

  serve("localhost", "launcher/moved/version.json", good + "/launcher/version.json")
  serve("localhost", "launcher/launcher.7z", good + "/launcher/launcher.7z")
  serve("localhost", "launcher/version.json.sig", good + "/launcher/version.json.sig")
  serve("127.0.0.2", EXTRACTOR_PATH, extractor)
  try:
    set_rules({"/launcher/version.json": {"redirect": "/launcher/moved/version.json"}})
    runs["host"] = run("--json", "--host", "localhost", "--release", windows_path(good), *key_a)
    runs["text"] = run("--host", "localhost", "--release", windows_path(good))
    # A CDN that compresses on the fly, whatever the client asks for.
    set_rules({"/launcher/version.json": {"redirect": "/launcher/moved/version.json"},
               "/launcher/moved/version.json": {"gzip": True},
               "/launcher/launcher.7z": {"gzip": True, "chunked": True}})
    runs["compressing"] = run("--json", "--host", "localhost", "--release", windows_path(good))
    # A manifest gone, signatures past the limit, an archive cut short, an
    # extractor mirror with another build.
    serve("127.0.0.2", EXTRACTOR_PATH, content=b"MZ another build")
    serve("localhost", "launcher/version.json.sig", content=(SIGNATURE + "\n").encode() * 400)
    set_rules({"/launcher/version.json": {"status": 404},
               "/launcher/launcher.7z": {"content_length_override": 10 ** 6}})
    runs["broken"] = run("--json", "--host", "localhost", *key_a)
    runs["unresolved"] = run("--json", "--host", "nowhere.invalid")
  finally:
    # The other tests share the server: leave it as found.
    os.remove(os.path.join(ARGS.state, "www", "rules.json"))
    for host in ("localhost", "127.0.0.2"):
      shutil.rmtree(os.path.join(ARGS.state, "www", "files", host), ignore_errors=True)
  return {name: (code, out if name in ("text", "signed-text", "bad-key") else json.loads(out))
          for name, (code, out) in runs.items()}



class CheckTest(unittest.TestCase):

  @classmethod
  def setUpClass(cls):
    shutil.rmtree(ARGS.work, ignore_errors=True)
    cls.previews = os.path.join(ARGS.work, "previews")
    # Left by an earlier preview: no picture may stay for a refused folder.
    os.makedirs(os.path.join(cls.previews, "refused"))
    h.write_bytes(os.path.join(cls.previews, "refused", "first-frame.png"), png(8, 8))
    cls.results = {}
    for name, (config, files) in FOLDERS.items():
      game = os.path.join(ARGS.work, name)
      os.makedirs(os.path.join(game, "nolm") if config is not None else game)
      for file, content in ([("config.json", config)] if config else []) + list(files.items()):
        with open(os.path.join(game, "nolm", file), "wb") as f:
          f.write(content)
      code, out = run("--json", "--preview", windows_path(os.path.join(cls.previews, name)),
                      windows_path(game))
      cls.results[name] = (code, json.loads(out))
    # The \\?\ prefix, which allows no "/" after it, is taken off.
    cls.text = run("\\\\?\\" + windows_path(os.path.join(ARGS.work, "traps")))
    # A report that cannot be written whole: its own exit code, said on stderr.
    # cmd starts the checker from its own folder, so no path it quotes
    # precedes the redirection (cmd would strip the first and last quote).
    cls.full_disk = run("/c", os.path.basename(ARGS.exe), "--json",
                        windows_path(os.path.join(ARGS.work, "clean")), ">", "Z:\\dev\\full",
                        program="cmd")
    cls.usage = run("--json", windows_path(os.path.join(ARGS.work, "missing")))
    # A file stands where the preview's folder should be.
    clean = os.path.join(ARGS.work, "clean")
    cls.unwritable = run("--preview", windows_path(os.path.join(clean, "nolm", "config.json", "x")),
                         windows_path(clean))

  def result(self, name, exit_code, codes):
    """The folder's report, after checking its exit code and warning codes."""
    code, report = self.results[name]
    self.assertEqual((code, [w["code"] for w in report["warnings"]]), (exit_code, codes),
                     json.dumps(report, indent=1))
    return report

  def test_clean_folder_with_artwork(self):
    report = self.result("clean", 0, [])
    self.assertEqual((report["valid"], report["slug"], report["title"]),
                     (True, "my-game", "Caf\u00e9 Racer"))
    self.assertEqual(report["command_line"], LAUNCHER + " --game=my-game")
    self.assertEqual(report["splash"], {"file": "splash.png", "width": 1920, "height": 1080,
                                        "drawn": [0, -50, 800, 450]})
    self.assertEqual([type(n) for n in report["splash"]["drawn"]], [int] * 4)
    # The shortest decimal of each single-precision value GDI+ is given.
    self.assertEqual(report["title_image"], {"file": "title.png", "width": 600, "height": 100,
                                             "drawn": [120, 128.33333, 560, 93.333336]})
    folder = windows_path(os.path.join(self.previews, "clean"))
    self.assertEqual(report["preview"], {"first_frame": folder + "\\first-frame.png",
                                         "installing": folder + "\\installing.png"})

  def test_scan_traps(self):
    report = self.result("traps", 2, ["scan-differs-game", "scan-differs-name"])
    self.assertEqual((report["slug"], report["title"]), ("old-slug", "id"))
    self.assertEqual(report["command_line"], LAUNCHER + " --game=old-slug")
    report = self.result("quote", 2, ["escape-literal", "scan-differs-name"])
    self.assertEqual(report["title"], "The \\")

  def test_literal_escapes_and_not_json(self):
    report = self.result("escapes", 2, ["escape-literal"])
    self.assertEqual(report["title"], "Caf\\u00e9")
    report = self.result("not-json", 2, ["config-not-json"])
    self.assertEqual(report["title"], "Racer")

  def test_undecodable_png_falls_back_to_jpg(self):
    report = self.result("fallback", 2,
                         ["artwork-undecodable", "artwork-upscaled", "title-opaque"])
    self.assertEqual((report["splash"]["file"], report["splash"]["drawn"]),
                     ("splash.jpg", [0, -25, 800, 400]))
    self.assertEqual(report["title_image"]["drawn"], [120, 70, 560, 210])

  def test_refused(self):
    report = self.result("refused", 1, ["config-refused"])
    self.assertEqual((report["valid"], report["slug"], report["command_line"]),
                     (False, "jeu-\u00e9t\u00e9", None))
    self.assertIn('holds "\u00e9" (U+00E9) at character 5,', report["warnings"][0]["message"])
    # The player sees only the message box: no picture.
    self.assertIsNone(report["preview"])
    self.assertEqual(os.listdir(os.path.join(self.previews, "refused")), [])
    self.result("truncated", 1, ["config-truncated", "config-refused", "scan-differs-game"])
    self.result("utf16", 1, ["config-not-utf8", "config-refused", "config-not-json"])

  def test_files_past_the_reads(self):
    self.result("huge", 2, ["config-truncated", "config-partly-read"])
    report = self.result("deep", 2, ["config-truncated", "scan-differs-name"])
    self.assertIn('sees "name": [[[[', report["warnings"][1]["message"])

  def test_no_configuration_starts_without_game(self):
    report = self.result("none", 2, ["config-missing"])
    self.assertEqual((report["slug"], report["title"], report["command_line"], report["splash"]),
                     (None, "Nolm Launcher", LAUNCHER, None))

  def test_text_mode_and_usage(self):
    code, out = self.text
    self.assertEqual(code, 2, out)
    self.assertIn("\nwarning [scan-differs-game]: a JSON reader sees \"game\": \"my-game\"", out)
    self.assertEqual(self.usage[0], 64, self.usage[1])
    self.assertIn("no such folder", self.usage[1])
    self.assertEqual(self.full_disk, (74, "nolm-check: the report could not be written whole "
                                          "(is the disk full or the output closed?)\n"))
    code, out = self.unwritable
    self.assertEqual(code, 73, out)
    self.assertTrue(out.startswith("nolm-check: cannot create the folder "), out)
    self.assertIn("\npreview: no picture: it could not be written (see the error above)\n", out)


class PreviewTest(unittest.TestCase):
  """The preview is the window: for the demo's artwork (a splash and a title
  with transparency), first-frame.png equals a capture of the real splash
  window for the same folder, and installing.png differs from it only in the
  bar's rows. The launcher is installed already, so the window shows no bar."""

  @classmethod
  def setUpClass(cls):
    harness = h.Harness(ARGS.state, ARGS.testenv, ARGS.shortcut, ARGS.data)
    case = harness.new_case("preview")
    program = case.make_game('{"game": "star-drift", "name": "Star Drift"}')
    game = os.path.dirname(program)
    subprocess.run([sys.executable, os.path.join(ARGS.tools, "make_demo_art.py"),
                    os.path.join(game, "nolm")], check=True, stdout=subprocess.DEVNULL)
    case.preinstall()
    cls.out = os.path.join(case.folder, "preview")
    cls.check = run("--json", "--preview", windows_path(cls.out), windows_path(game))
    # A capture every 20 ms while the splash shows, from the moment it is
    # visible: the first GUI program of a fresh Wine session can reach the
    # screen some 400 ms after its window is visible (black until then), and
    # the launcher's window covers the splash's top 173 rows once it shows,
    # which on a quick run is some 90 ms after the splash.
    cls.report = case.run_driver(program, captures=tuple(range(0, 3001, 20)))

  def test_first_frame_is_the_window(self):
    code, out = self.check
    self.assertEqual((code, json.loads(out)["preview"]["first_frame"]),
                     (0, windows_path(os.path.join(self.out, "first-frame.png"))), out)
    channels, frame = rgb_rows_of_png(os.path.join(self.out, "first-frame.png"))
    self.assertEqual((channels, len(frame), len(frame[0][0])), (4, 350, 800))  # 32-bit
    # How many rows of each capture of the window differ from the preview:
    # none, for some capture, since the window shows that one frame all along.
    differing = []
    for capture in [c for c in self.report.captures() if c["ok"]]:
      window = rgb_rows_of_capture(capture["path"])
      differing.append(sum(frame[y] != window[y] for y in range(350)))
    self.assertIn(0, differing, self.report.summary())

  def test_installing_differs_only_in_the_bar(self):
    _, frame = rgb_rows_of_png(os.path.join(self.out, "first-frame.png"))
    _, installing = rgb_rows_of_png(os.path.join(self.out, "installing.png"))
    self.assertEqual([y for y in range(350) if frame[y] != installing[y]], BAR_ROWS)
    # 40 %: white over the first 320 pixels of the bar, the track after them.
    red = installing[346][0]
    self.assertEqual((red[:320], red[320] < 255), (b"\xff" * 320, True))



class ReleaseTest(unittest.TestCase):
  """The release check: release folders and the hosts serving them."""

  @classmethod
  def setUpClass(cls):
    shutil.rmtree(os.path.join(ARGS.work, "releases"), ignore_errors=True)
    os.makedirs(os.path.join(ARGS.work, "releases"))
    cls.releases = release_runs()

  def release(self, name, exit_code, codes):
    """The release check's report, after checking its exit code and finding codes."""
    code, report = self.releases[name]
    self.assertEqual((code, [f["code"] for f in report["findings"]]), (exit_code, codes),
                     json.dumps(report, indent=1))
    return report

  def test_good_release(self):
    report = self.release("good", 0, [])
    self.assertEqual(report["manifest"]["version"], "1.4.2")
    # Its "sha256" holds; without keys its signature is listed, not verified.
    self.assertEqual(report["manifest"]["sha256"], report["archive"]["sha256"])
    self.assertEqual((report["signature"]["verified"], report["signature"]["lines"]),
                     (None, [{"text": SIGNATURE, "well_formed": True, "key": None}]))
    self.assertEqual(report["extractor"]["pinned"], True)
    self.assertEqual((report["unpacked"]["exit_code"], report["unpacked"]["files"],
                      report["unpacked"]["bytes"], report["unpacked"]["top_level"]),
                     (0, 2, sum(map(len, LAUNCHER_FILES.values())),
                      ["launcher.exe", "launcher.pck"]))

  def test_release_faults(self):
    report = self.release("folder", 1,
                          ["manifest-scan-differs", "archive-no-launcher", "archive-no-pck"])
    self.assertEqual(report["manifest"]["version"], "0.9")
    self.assertIn('in the folder "Launcher-1.0\\"', report["findings"][1]["message"])
    self.assertEqual(report["unpacked"]["top_level"], ["Launcher-1.0\\"])
    report = self.release("ppmd", 1, ["manifest-no-version", "archive-unreadable"])
    self.assertIn("502 Bad Gateway", report["findings"][0]["message"])
    self.assertIn('"Unsupported Method" for launcher.exe, launcher.pck',
                  report["findings"][1]["message"])
    # 7zr.exe asks for a password and must get end of input, not wait.
    report = self.releases["encrypted"][1]
    self.assertIn("it is encrypted", report["findings"][4]["message"])
    report = self.release("marker", 1,
                          ["manifest-no-sha256", "manifest-no-size", "archive-has-marker"])
    self.assertEqual([(l["well_formed"], l["key"]) for l in report["signature"]["lines"]],
                     [(False, None), (True, fingerprint(KEYS["a"]))])
    self.assertEqual(self.release("swapped", 1, ["archive-sha256-differs"])["unpack_skipped"], None)
    # With keys, bytes nobody signed never reach 7zr.exe.
    report = self.release("swapped-keyed", 1, ["archive-sha256-differs", "archive-size-differs"])
    self.assertEqual((report["unpacked"], report["unpack_skipped"][:40]),
                     (None, "the archive is not the one the manifest "))

  def test_signed_release(self):
    report = self.release("signed", 0, [])
    self.assertEqual(report["signature"]["keys"],
                     [{"fingerprint": fingerprint(KEYS["b"]), "source": KEYS["b"], "pinned": False},
                      {"fingerprint": fingerprint(KEYS["a"]), "source": windows_path(KEYS["pem"]),
                       "pinned": False}])
    self.assertEqual((report["signature"]["verified"], report["signature"]["lines"]),
                     (True, [{"text": SIGNATURE, "well_formed": True,
                              "key": fingerprint(KEYS["a"])}]))
    code, out = self.releases["signed-text"]
    self.assertEqual(code, 0, out)
    self.assertIn("\n  line 1: %s: verified by key %s\n" % (SIGNATURE, fingerprint(KEYS["a"])), out)
    report = self.release("wrong-key", 1, ["signature-invalid"])
    self.assertIn("under the key %s over the manifest's %d bytes: line 1 (%s...) verifies under "
                  "none of them" % (fingerprint(KEYS["b"]), report["manifest"]["bytes"],
                                    SIGNATURE[:12]), report["findings"][0]["message"])
    self.assertEqual(report["signature"]["lines"][0]["key"], None)
    self.release("encrypted", 1, ["manifest-no-version", "manifest-no-sha256", "manifest-no-size",
                                  "signature-unavailable", "archive-unreadable"])
    build_keys = []
    for name in ("a", "b"):
      with open(os.path.join(ARGS.data, "release-keys", name + ".b64")) as f:
        build_keys.append(f.read().strip())
    report = self.release("pinned", 0, [])
    self.assertEqual(report["signature"]["keys"],
                     [{"fingerprint": fingerprint(k), "source": k, "pinned": True}
                      for k in build_keys])
    self.assertEqual(report["signature"]["lines"][0]["key"], fingerprint(build_keys[0]))
    self.release("pinned-unsigned", 1,
                 ["manifest-no-sha256", "manifest-no-size", "signature-unavailable"])
    self.assertEqual(self.release("pinned-replaced", 0, [])["signature"]["keys"][0]["pinned"],
                     False)
    code, out = self.releases["bad-key"]
    self.assertEqual(code, 64, out)
    self.assertIn("holds no -----BEGIN PUBLIC KEY----- block but a private key", out)

  def test_good_host(self):
    report = self.release("host", 0, [])
    good = os.path.join(ARGS.work, "releases", "good", "launcher", "launcher.7z")
    with open(good, "rb") as f:
      self.assertEqual(report["archive"]["sha256"], hashlib.sha256(f.read()).hexdigest())
    self.assertEqual((report["manifest"]["request"]["status"],
                      report["manifest"]["request"]["final_url"]),
                     (200, "https://localhost/launcher/moved/version.json"))
    self.assertEqual(report["archive"]["request"]["content_length"],
                     str(os.path.getsize(good)))
    self.assertEqual(report["extractor"]["source"], "https://127.0.0.2/" + EXTRACTOR_PATH)
    self.assertEqual(report["unpacked"]["files"], 2)
    self.assertEqual((report["signature"]["request"]["status"],
                      report["signature"]["lines"][0]["key"]), (200, fingerprint(KEYS["a"])))

  def test_host_faults(self):
    report = self.release("compressing", 1, ["manifest-encoded", "manifest-differs",
                                             "manifest-no-version", "archive-no-length",
                                             "archive-encoded", "archive-differs",
                                             "archive-unreadable"])
    self.assertEqual(report["archive"]["request"]["content_encoding"], "gzip")
    self.assertIn("it is gzip data", report["findings"][6]["message"])
    report = self.release("broken", 1, ["manifest-unavailable", "signature-unavailable",
                                        "archive-unavailable", "extractor-mismatch"])
    self.assertIn("answers 404 Not Found", report["findings"][0]["message"])
    self.assertIn("past the shortcut's limit of 32768 bytes", report["findings"][1]["message"])
    self.assertIn("ended after", report["findings"][2]["message"])
    self.assertIsNone(report["unpacked"])
    report = self.release("unresolved", 1, ["manifest-unavailable", "archive-unavailable",
                                            "extractor-mismatch"])
    self.assertIn("does not resolve (ERROR_WINHTTP_NAME_NOT_RESOLVED, 12007)",
                  report["findings"][0]["message"])

  def test_release_text(self):
    code, out = self.releases["text"]
    self.assertEqual(code, 0, out)
    self.assertIn("redirected to https://localhost/launcher/moved/version.json", out)
    self.assertIn("\ntop of the archive: launcher.exe, launcher.pck\n", out)
    self.assertIn("\nresult: fine (exit code 0)", out)


PLAYER = "Zoe Player"  # the profile folder's name: a user's name, never to be shown
SIGN_IN_PAGE = b"<!DOCTYPE html><title>Sign in</title><form>Wi-Fi sign-in</form>"


def profile_snapshot(profile):
  """Every path under `profile` with its size and modification time."""
  entries = {}
  for folder, folders, files in os.walk(profile):
    for name in folders + files:
      path = os.path.join(folder, name)
      status = os.lstat(path)
      # A folder's own time changes with what was made and removed in it.
      entries[os.path.relpath(path, profile)] = (
          None if os.path.isdir(path) else (status.st_size, status.st_mtime_ns))
  return entries


def diagnosis_batch(name, profile, arguments, exe):
  """A batch file (in a folder without spaces, which cmd /c takes whole)
  that runs the diagnosis with USERPROFILE set to `profile`: Wine sets
  USERPROFILE from the prefix for a program started from Linux, so the
  batch sets it for the checker as a Windows parent does."""
  batch = os.path.join(ARGS.state, "diagnose-batches", name + ".cmd")
  os.makedirs(os.path.dirname(batch), exist_ok=True)
  h.write_bytes(batch, '@set "USERPROFILE=%s"\r\n@"%s" --diagnose %s\r\n'
                % (windows_path(profile), windows_path(exe),
                   " ".join('"%s"' % a if " " in a else a for a in arguments)))
  return windows_path(batch)


def stop_wineserver():
  """Ends the prefix's wineserver and waits for it: the next Wine program
  starts one of its own, in the mount namespace that program runs in."""
  env = dict(os.environ, WINEPREFIX=os.path.join(ARGS.state, "prefix"))
  subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
  subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)


def quarantine_launcher(profile, stop):
  """As security software that quarantines a new program: removes the
  replay's launcher.exe the moment it appears, until `stop` is set."""
  pattern = os.path.join(glob.escape(profile), "Nolm", "nolm-check-*", "install", "launcher.exe")
  while not stop.is_set():
    for path in glob.glob(pattern):
      try:
        os.remove(path)
      except OSError:
        pass
    time.sleep(0.001)


def end_holds(holder, profile, seconds, stop):
  """Ends every hold of `holder` `seconds` after the replay's archive
  appears, unless the diagnosis ends first (`stop`)."""
  pattern = os.path.join(glob.escape(profile), "Nolm", "nolm-check-*", "install", "temp",
                         "launcher_install.7z")
  while not stop.is_set() and not glob.glob(pattern):
    time.sleep(0.01)
  if not stop.wait(seconds):
    holder.stop()


def open_key(data, name):
  """The base64 of the tests' release key `name` as the builds pin it."""
  with open(os.path.join(data, "release-keys", name + ".b64")) as f:
    return f.read().strip()


class DiagnoseTest(unittest.TestCase):
  """nolm-check --diagnose on a player's profile: one case per verdict,
  each run once in setUpClass against the fixture server, with the test's
  own hosts, keys and extractor built in. Every case's profile is a folder
  named after a user, which must appear nowhere in what is written, and
  which the diagnosis must leave as it found it."""

  @classmethod
  def diagnose(cls, name, *arguments, setup=None, volume=None, during=None, exe=None,
               held=None):
    """Runs one diagnosis on a fresh profile `name`/Zoe Player, after
    `setup(profile)`; `volume` ("full": not even the downloads fit;
    "tight": they fit, the unpacked files do not; "read-only") puts the
    profile on a tmpfs of its own in a private mount namespace; `during(profile)` runs
    beside the diagnosis (a thread) and is told to stop by the event it is
    given; `exe` is another nolm-check.exe; `held` (milliseconds, sharing[,
    seconds]) has file_holder.exe hold every new file in the profile, from
    before the diagnosis starts until after the profile is compared, or
    until `seconds` after the replay's archive appeared. Keeps (exit code,
    output, profile before, profile after, profile)."""
    import threading
    case = os.path.join(ARGS.work, "diagnose", name)
    profile = os.path.join(case, PLAYER)
    shutil.rmtree(case, ignore_errors=True)
    os.makedirs(profile)
    if setup:
      setup(profile)
    batch = diagnosis_batch(name, profile, arguments, exe or ARGS.exe)
    before = profile_snapshot(profile)
    stop, threads, holder = threading.Event(), [], None
    if held:
      holder = h.FileHolder(h.Harness(ARGS.state, ARGS.testenv, ARGS.exe, ARGS.data), case,
                            profile, *held[:2])
      if held[2:]:
        threads.append(threading.Thread(target=end_holds, args=(holder, profile, held[2], stop)))
    if during:
      threads.append(threading.Thread(target=during, args=(profile, stop)))
    for thread in threads:
      thread.start()
    try:
      if volume:
        stop_wineserver()
        out_path = os.path.join(ARGS.work, "out.txt")
        script = ('mount -t tmpfs -o size=%s tmpfs "$0" && mkdir "$0/%s" %s && exec "$@"'
                  % ({"full": "1m", "tight": "1400k"}.get(volume, "4m"), PLAYER,
                     '&& mount -o remount,ro "$0"' if volume == "read-only" else ""))
        with open(out_path, "wb") as out:
          code = subprocess.run(["unshare", "-m", "bash", "-c", script, case, ARGS.testenv,
                                 "run", ARGS.state, "cmd", "/c", batch],
                                cwd=os.path.dirname(ARGS.exe), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.DEVNULL, timeout=180).returncode
        stop_wineserver()
        with open(out_path, "rb") as out:
          output = out.read().decode("utf-8")
        before = after = {}  # the tmpfs went with its namespace
      else:
        code, output = run("/c", batch, program="cmd")
        after = profile_snapshot(profile)
    finally:
      stop.set()
      for thread in threads:
        thread.join()
      if holder:
        holder.stop()
    cls.runs[name] = (code, output, before, after, profile)

  @classmethod
  def diagnose_beside_an_installing_copy(cls):
    """The shortcut installing into the same profile, paused in the middle of
    its archive (the server sends it slowly), while the diagnosis runs; the
    shortcut is ended once the diagnosis is done."""
    harness = h.Harness(ARGS.state, ARGS.testenv, ARGS.shortcut, ARGS.data)
    folder = os.path.join(ARGS.work, "diagnose-busy")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "game", "nolm"))
    shutil.copyfile(ARGS.shortcut, os.path.join(folder, "game", "nolm-shortcut.exe"))
    h.write_bytes(os.path.join(folder, "game", "nolm", "config.json"), b'{"game": "my-game"}')
    stop = os.path.join(folder, "stop")
    set_rules({"/launcher/launcher.7z": {"throttle_bytes_per_sec": 4000}})
    started = {}

    def install(profile):
      started["driver"] = harness.start_driver(folder, [
          "--exe=" + windows_path(os.path.join(folder, "game", "nolm-shortcut.exe")),
          "--env=USERPROFILE=" + windows_path(profile), "--kill-when=" + windows_path(stop)])
      archive = os.path.join(profile, "Nolm", "Launcher", "temp", "launcher_install.7z")
      for _ in range(600):
        if os.path.exists(archive):
          return
        time.sleep(0.05)
      raise AssertionError("the shortcut never began its archive")
    try:
      cls.diagnose("busy", "--json", setup=install)
    finally:
      h.write_bytes(stop, b"")
      if "driver" in started:
        harness.finish_driver(started["driver"])

  @classmethod
  def diagnose_double_clicked(cls):
    """nolm-check.exe started with no arguments in a console of its own, as
    a double click in Explorer starts it: it writes nolm-report.txt beside
    itself and then waits for Enter, so the driver ends it once the report
    is there."""
    harness = h.Harness(ARGS.state, ARGS.testenv, ARGS.exe, ARGS.data)
    folder = os.path.join(ARGS.work, "diagnose", "double-click")
    profile = os.path.join(folder, PLAYER)
    os.makedirs(profile)
    program = os.path.join(folder, "nolm-check.exe")
    shutil.copyfile(ARGS.exe, program)
    stop = os.path.join(folder, "stop")
    before = profile_snapshot(profile)
    started = harness.start_driver(folder, [
        "--exe=" + windows_path(program), "--new-console",
        "--env=USERPROFILE=" + windows_path(profile), "--kill-when=" + windows_path(stop)])
    report = os.path.join(folder, "nolm-report.txt")
    text = ""
    try:
      for _ in range(1200):
        if os.path.exists(report):
          with open(report, "rb") as f:
            text = f.read().decode("utf-8")
          if "\nverdict [" in text:
            break
        time.sleep(0.05)
      # Still waiting for Enter a moment later.
      time.sleep(1)
    finally:
      h.write_bytes(stop, b"")
      driver = harness.finish_driver(started)
    cls.double_click = (driver, text, before, profile_snapshot(profile))

  @classmethod
  def diagnose_machine_facts(cls):
    """The machine's facts as Windows gives them: a French UI, a profile
    path outside ASCII, and proxy settings in the current user's registry
    (only read: Wine's WinHTTP does not use them). The driver starts the
    checker, since the path cannot pass through a batch file's code page;
    the report comes back through --report."""
    harness = h.Harness(ARGS.state, ARGS.testenv, ARGS.exe, ARGS.data)
    folder = os.path.join(ARGS.work, "diagnose", "facts")
    profile = os.path.join(folder, "Zo\u00e9 Player")
    os.makedirs(profile)
    report = os.path.join(folder, "diagnosis.txt")  # report.txt is the driver's
    settings = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
    proxy = os.path.join(folder, "proxy.reg")
    h.write_bytes(proxy, "REGEDIT4\r\n\r\n[%s]\r\n\"ProxyEnable\"=dword:00000001\r\n"
                  "\"ProxyServer\"=\"proxy.example:8080\"\r\n"
                  "\"AutoConfigURL\"=\"http://wpad.example/proxy.pac\"\r\n\r\n"
                  "[%s\\Connections]\r\n\"DefaultConnectionSettings\"=hex:46,00,00,00,02,00,00,00,"
                  "09,00,00,00,00,00,00,00,00,00,00,00\r\n" % (settings, settings))
    # The prefix is shared with the other tests: its settings go back as found.
    restore = os.path.join(folder, "restore.reg")
    h.write_bytes(restore, "REGEDIT4\r\n\r\n[%s]\r\n\"ProxyEnable\"=-\r\n\"ProxyServer\"=-\r\n"
                  "\"AutoConfigURL\"=-\r\n\r\n[%s\\Connections]\r\n"
                  "\"DefaultConnectionSettings\"=-\r\n" % (settings, settings))
    def diagnose(profile, locale):
      before = profile_snapshot(profile)
      driver = harness.run_driver(folder, [
          "--exe=" + windows_path(ARGS.exe),
          "--args=--diagnose --report \"%s\"" % windows_path(report),
          "--env=USERPROFILE=" + windows_path(profile)], locale=locale)
      with open(report, "rb") as f:
        return driver, f.read().decode("utf-8"), before, profile_snapshot(profile)
    run("/s", windows_path(proxy), program="regedit")
    try:
      # The path passes from Linux in the character set of a locale this
      # machine has; the French UI needs LC_ALL, which has none here.
      cls.facts = diagnose(profile, {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
    finally:
      run("/s", windows_path(restore), program="regedit")
    french = os.path.join(folder, PLAYER)
    os.makedirs(french)
    cls.french = diagnose(french, h.FRENCH_FRANCE)

  @classmethod
  def setUpClass(cls):
    cls.runs = {}
    shutil.rmtree(os.path.join(ARGS.work, "diagnose"), ignore_errors=True)
    # From a terminal, no arguments still ask for the usage.
    cls.no_arguments = run()
    serve("localhost", "launcher/version.json", content=b'{"version": "2.0.1"}')
    serve("localhost", "launcher/launcher.7z", os.path.join(ARGS.data, "launcher.7z"))
    serve("127.0.0.2", EXTRACTOR_PATH, os.path.join(ARGS.data, "7zr.exe"))
    try:
      cls.diagnose("fresh", "--json")
      cls.diagnose_double_clicked()
      cls.diagnose_machine_facts()
      cls.diagnose("fresh-text", "--report", windows_path(
          os.path.join(ARGS.work, "diagnose", "fresh-text", "report.txt")))
      # Security software holding each new file: for a moment, and until 15 s
      # after the archive appeared, past the 10 s a start waits from its first
      # held step but within the 10 s the scratch folder's removal waits then.
      for share in ("none", "read"):
        cls.diagnose("held-briefly-" + share, "--json", held=(1000, share))
        cls.diagnose("held-long-" + share, "--json", held=(600000, share, 15))

      def installed(profile, files=("launcher.exe", "launcher.pck"), marker=False):
        folder = os.path.join(profile, "Nolm", "Launcher")
        for sub in ("temp", "lib"):
          os.makedirs(os.path.join(folder, sub))
        for name in files:
          h.write_bytes(os.path.join(folder, name), LAUNCHER_FILES[name])
        h.write_bytes(os.path.join(folder, "temp", "version.dat"), b"1.9.0")
        shutil.copyfile(os.path.join(ARGS.data, "7zr.exe"), os.path.join(folder, "lib", "7zr.exe"))
        if marker:
          h.write_bytes(os.path.join(folder, "temp", "install.incomplete"), b"")
      cls.diagnose("installed", "--json", setup=installed)
      cls.diagnose("unfinished", "--json", setup=lambda p: installed(p, marker=True))
      cls.diagnose("partial", "--json", setup=lambda p: installed(p, files=("launcher.exe",)))
      cls.diagnose("unresolved", "--json", "--host", "nowhere.invalid")
      cls.diagnose("no-listener", "--json", "--host", "127.0.0.3")
      cls.diagnose("untrusted", "--json", "--host", "127.0.0.4")
      cls.diagnose("expired", "--json", "--host", "127.0.0.5")
      cls.diagnose("clock", "--json", "--host", "127.0.0.6")
      game = os.path.join(ARGS.work, "diagnose-game")
      shutil.rmtree(game, ignore_errors=True)
      os.makedirs(os.path.join(game, "nolm"))
      h.write_bytes(os.path.join(game, "nolm", "config.json"), b'{"game": "my game"}')
      cls.diagnose("refused", "--json", windows_path(game))
      # A report file that cannot be written, and a release to check instead.
      cls.diagnose("report-unwritable", "--report", "Z:\\no such folder\\report.txt",
                   windows_path(game))
      cls.misused = run("--diagnose", "--release", windows_path(game))
      cls.diagnose("read-only", "--json", volume="read-only")
      cls.diagnose("full", "--json", volume="full")
      cls.diagnose("tight", "--json", volume="tight")
      set_rules({"/launcher/version.json": {"status": 404}})
      cls.diagnose("not-found", "--json")
      set_rules({"/launcher/version.json": {"status": 200, "body": SIGN_IN_PAGE.decode()}})
      cls.diagnose("sign-in", "--json")
      # The archive stops after its first 32 KiB, past WinHTTP's 30 s wait for more.
      set_rules({"/launcher/launcher.7z": {"chunk_size": 32768, "delay_ms_per_chunk": 40000}})
      cls.diagnose("stalled", "--json")
      cls.diagnose_beside_an_installing_copy()
      set_rules({})
      cls.diagnose("removed", "--json", during=quarantine_launcher)
      # The signed build decides with its own keys, as its shortcut does: an
      # unsigned manifest stops it, a release signed by a pinned key installs.
      cls.diagnose("signed-unsigned", "--json", exe=ARGS.signed_exe)
      release = os.path.join(ARGS.work, "diagnose-release")
      shutil.rmtree(release, ignore_errors=True)
      os.makedirs(os.path.join(release, "launcher"))
      shutil.copyfile(os.path.join(ARGS.data, "launcher.7z"),
                      os.path.join(release, "launcher", "launcher.7z"))
      sign(release, os.path.join(ARGS.data, "release-keys", "a.pem"),
           b'{"version": "2.0.2", "sha256": "%s", "size": "%z"}')
      for name in ("version.json", "version.json.sig"):
        serve("localhost", "launcher/" + name, os.path.join(release, "launcher", name))
      cls.diagnose("signed", "--json", exe=ARGS.signed_exe)
      serve("127.0.0.2", EXTRACTOR_PATH, os.path.join(ARGS.data, "exit_code.exe"))
      cls.diagnose("wrong-extractor", "--json")
    finally:
      os.remove(os.path.join(ARGS.state, "www", "rules.json"))
      for host in ("localhost", "127.0.0.2"):
        shutil.rmtree(os.path.join(ARGS.state, "www", "files", host), ignore_errors=True)

  def verdict(self, name, code, exit_code, json_output=True, paths_only=False):
    """The diagnosis `name`'s report, after checking its verdict and exit
    code, that the profile is as it was (`paths_only`: holds the same
    entries, for a profile another program writes to meanwhile), and that the
    user's folder name is nowhere in the output."""
    run_code, output, before, after, profile = self.runs[name]
    self.assertNotIn(PLAYER, output)
    self.assertNotIn("Zoe", output)
    if paths_only:
      before, after = sorted(before), sorted(after)
    self.assertEqual(before, after, "the diagnosis changed the profile")
    if not json_output:
      self.assertEqual(run_code, exit_code, output)
      self.assertIn("\nverdict [%s]: " % code, output)
      return output
    report = json.loads(output)
    self.assertEqual((report["verdict"]["code"], run_code), (code, exit_code),
                     json.dumps(report, indent=1))
    self.assertEqual(report["installation"]["folder"], "%USERPROFILE%\\Nolm\\Launcher")
    return report

  def test_fresh_profile_would_install(self):
    report = self.verdict("fresh", "would-install", 0)
    self.assertEqual((report["installation"]["state"], report["installation"]["lock_held"],
                      report["installation"]["version"]), ("absent", False, None))
    self.assertIn('launcher version "2.0.1"', report["verdict"]["message"])
    self.assertEqual(report["replay"]["unpacked"]["top_level"], ["launcher.exe", "launcher.pck"])
    self.assertEqual(report["replay"]["extractor"]["source"], "https://127.0.0.2/" + EXTRACTOR_PATH)
    machine = report["machine"]
    self.assertEqual((machine["userprofile_set"], machine["install_path_non_ascii"],
                      machine["message_language"]), (True, False, "English"))
    self.assertEqual(machine["install_path_length"],
                     len(windows_path(self.runs["fresh"][4])) + len("\\Nolm\\Launcher"))
    self.assertGreater(machine["free_bytes"], 0)
    # Every step waits for a file held a moment, and the scratch folder goes.
    for share in ("none", "read"):
      report = self.verdict("held-briefly-" + share, "would-install", 0)
      self.assertEqual((report["replay"]["held_file"], report["replay"]["scratch_left"]),
                       (None, None))

  def test_files_held_past_the_wait(self):
    for share in ("none", "read"):
      report = self.verdict("held-long-" + share, "file-held", 1)
      message = report["verdict"]["message"]
      self.assertRegex(message, r"^the shortcut's (hash|start|unpack|delete) of %USERPROFILE%"
                       r"\\Nolm\\Launcher\\(lib|temp)\\[a-z0-9_.]+ gave up after waiting "
                       r"10\.0 s, ")
      self.assertIn("let the security software allow %USERPROFILE%\\Nolm, or wait", message)
      # Not blamed on the release: what the hold caused is not listed.
      self.assertEqual([f["code"] for f in report["replay"]["findings"]], ["file-held"])
      self.assertIsNone(report["replay"]["scratch_left"])

  def test_double_click_writes_the_report_beside_itself(self):
    driver, text, before, after = self.double_click
    self.assertGreaterEqual(driver.number("killed_ms"), 0, driver.summary())
    self.assertIn("\nverdict [would-install]: ", text)
    self.assertTrue(text.startswith("installation: %USERPROFILE%\\Nolm\\Launcher: absent\n"),
                    text)
    self.assertNotIn("Zoe", text)
    self.assertEqual(before, after)
    code, out = self.no_arguments
    self.assertEqual(code, 64, out)
    self.assertIn("usage: nolm-check", out)

  def test_machine_facts(self):
    driver, text, before, after = self.french
    self.assertEqual(driver.number("exit_code"), 0, text)
    self.assertIn("; UI language fr-FR (0x040C), the player's messages in French\n", text)
    self.assertIn("\n  proxy settings: none set\n", text)
    self.assertNotIn("Zoe", text)
    self.assertEqual(before, after)
    driver, text, before, after = self.facts
    self.assertEqual(driver.number("exit_code"), 0, text)
    self.assertIn("; UI language en-US (0x0409), the player's messages in English\n", text)
    profile = windows_path(os.path.join(ARGS.work, "diagnose", "facts", "Zo\u00e9 Player"))
    self.assertIn("\n  USERPROFILE: set; the install folder's path: %d characters, some outside "
                  "ASCII\n" % len(profile + "\\Nolm\\Launcher"), text)
    self.assertIn("\n  proxy settings: automatic detection, script http://wpad.example/proxy.pac, "
                  "proxy proxy.example:8080\n", text)
    self.assertNotIn("Zo\u00e9", text)
    self.assertEqual(before, after)

  def test_text_and_report_file(self):
    out = self.verdict("fresh-text", "would-install", 0, json_output=False)
    self.assertIn("installation: %USERPROFILE%\\Nolm\\Launcher: absent\n", out)
    with open(os.path.join(ARGS.work, "diagnose", "fresh-text", "report.txt"), "rb") as f:
      self.assertEqual(f.read().decode("utf-8"), out)

  def test_installation_states(self):
    report = self.verdict("installed", "installed", 0)
    self.assertEqual((report["installation"]["state"], report["installation"]["version"],
                      report["installation"]["extractor"]), ("installed", "1.9.0", "pinned"))
    self.assertEqual(report["verdict"]["message"],
                     "the launcher in %USERPROFILE%\\Nolm\\Launcher is whole, so a start needs "
                     "no network")
    report = self.verdict("unfinished", "would-install", 0)
    self.assertEqual(report["installation"]["state"], "unfinished")
    report = self.verdict("partial", "would-install", 0)
    self.assertEqual(report["installation"]["state"], "partial")

  def test_network(self):
    report = self.verdict("unresolved", "network-name", 1)
    self.assertIn("the host name nowhere.invalid does not resolve", report["verdict"]["message"])
    report = self.verdict("no-listener", "network-connect", 1)
    self.assertIn("no connection can be made to 127.0.0.3 port 443", report["verdict"]["message"])
    report = self.verdict("stalled", "network-timeout", 1)
    self.assertIn("https://localhost/launcher/launcher.7z stopped answering: the request gave up "
                  "after 3", report["verdict"]["message"])

  def test_certificates(self):
    report = self.verdict("untrusted", "certificate-untrusted", 1)
    self.assertIn('issued by "Nolm Shortcut Untrusted Test CA"', report["verdict"]["message"])
    self.assertEqual(report["certificate"]["issuer"], "Nolm Shortcut Untrusted Test CA")
    report = self.verdict("expired", "certificate-untrusted", 1)
    self.assertIn("valid from 2019-01-01 00:00:00 UTC to 2020-01-01 00:00:00 UTC",
                  report["verdict"]["message"])
    report = self.verdict("clock", "clock-wrong", 1)
    self.assertEqual(report["certificate"]["server_date"], "2037-01-01 00:00:00 UTC")
    self.assertIn("but 127.0.0.6 says 2037-01-01 00:00:00 UTC", report["verdict"]["message"])

  def test_server_answers(self):
    report = self.verdict("not-found", "server-status", 1)
    self.assertIn("https://localhost/launcher/version.json: the server answers 404 Not Found",
                  report["verdict"]["message"])
    report = self.verdict("sign-in", "manifest-no-version", 1)
    self.assertIn("Sign in", report["verdict"]["message"])
    report = self.verdict("wrong-extractor", "extractor-mismatch", 1)
    # Never run: nothing was unpacked.
    self.assertIsNone(report["replay"]["unpacked"])

  def test_another_copy_installing(self):
    report = self.verdict("busy", "install-busy", 2, paths_only=True)
    self.assertEqual((report["installation"]["lock_held"], report["replay"]),
                     (True, None))
    self.assertIn("a start waits for it now; run this again once it ends",
                  report["verdict"]["message"])

  def test_launcher_removed_after_unpacking(self):
    report = self.verdict("removed", "launcher-removed", 1)
    self.assertIn("let the security software allow %USERPROFILE%\\Nolm\\Launcher\\launcher.exe",
                  report["verdict"]["message"])

  def test_signed_build(self):
    report = self.verdict("signed", "would-install", 0)
    self.assertEqual((report["replay"]["signature"]["verified"],
                      report["replay"]["signature"]["keys"][0]["fingerprint"]),
                     (True, fingerprint(open_key(ARGS.data, "a"))))
    self.assertIn('launcher version "2.0.2"', report["verdict"]["message"])
    # The signatures come before the signed digest: the first thing a start misses.
    report = self.verdict("signed-unsigned", "server-status", 1)
    self.assertTrue(report["verdict"]["message"].startswith(
        "https://localhost/launcher/version.json.sig: the server answers 404"),
        report["verdict"]["message"])

  def test_refused_configuration(self):
    report = self.verdict("refused", "config-refused", 1)
    self.assertIn("the shortcut refuses nolm/config.json", report["verdict"]["message"])
    self.assertIsNone(report["replay"])

  def test_report_unwritable_and_usage(self):
    code, output = self.runs["report-unwritable"][:2]
    self.assertEqual(code, 74, output)
    self.assertIn("\nnolm-check: the report could not be written whole", output)
    self.assertIn("\nverdict [config-refused]: ", output)
    code, output = self.misused
    self.assertEqual(code, 64, output)
    self.assertIn("--diagnose takes only --json, --host, --report and a game folder", output)

  def test_volumes(self):
    report = self.verdict("read-only", "folder-unwritable", 1)
    self.assertTrue(report["verdict"]["message"].startswith("%USERPROFILE% cannot be written: "),
                    report["verdict"]["message"])
    report = self.verdict("full", "disk-space", 1)
    self.assertIn("at once beside %USERPROFILE%\\Nolm\\Launcher, and ", report["verdict"]["message"])
    # 7-Zip fails once the volume is full, and the space is what is named.
    report = self.verdict("tight", "disk-space", 1)
    self.assertEqual((report["replay"]["unpacked"]["exit_code"],
                      report["replay"]["findings"][0]["code"]), (2, "archive-unreadable"))


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("--state", required=True, help="test environment state folder")
  parser.add_argument("--testenv", required=True, help="tests/env/testenv.sh")
  parser.add_argument("--exe", required=True, help="nolm-check.exe")
  parser.add_argument("--shortcut", required=True, help="nolm-shortcut.exe, for the preview test")
  parser.add_argument("--signed-exe", required=True, help="nolm-check.exe pinning keys a and b")
  parser.add_argument("--data", required=True, help="folder of driver.exe and the test files")
  global ARGS
  ARGS, rest = parser.parse_known_args()
  ARGS.state, ARGS.testenv, ARGS.exe, ARGS.signed_exe = map(
      os.path.abspath, (ARGS.state, ARGS.testenv, ARGS.exe, ARGS.signed_exe))
  ARGS.tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
  ARGS.work = os.path.join(ARGS.state, "check folders")
  unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
  main()
