"""Linux side of the end-to-end tests: game folders, user profiles, the
fixture server's content, and runs of the Windows-side driver (driver.exe)
whose key=value report says what a user would have seen.

Everything a run creates lives under STATE/e2e, inside the build tree.
"""

import json
import os
import shutil
import struct
import subprocess
import time

DOWNLOAD_HOST = "localhost"
EXTRACTOR_HOST = "127.0.0.2"
EXTRACTOR_PATH = "/ip7z/7zip/releases/download/26.01/7zr.exe"
MANIFEST_PATH = "/launcher/version.json"
ARCHIVE_PATH = "/launcher/launcher.7z"
SIGNATURE_PATH = "/launcher/version.json.sig"

# The French UI under Wine comes from the Unix locale variables of the Wine
# process (LANG alone is not enough) and follows each new process, not the
# shared wineserver; no compiled locale is needed. Each French case checks the
# UI language its run got.
FRENCH_FRANCE = {"LANG": "fr_FR.UTF-8", "LC_ALL": "fr_FR.UTF-8"}
FRENCH_CANADA = {"LANG": "fr_CA.UTF-8", "LC_ALL": "fr_CA.UTF-8"}
ENGLISH_US = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}


def windows_path(path):
  """The Wine view of a Linux path (Z: maps the Linux root)."""
  return "Z:" + os.path.abspath(path).replace("/", "\\")


def linux_path(path):
  """The Linux path of a Wine path on the Z: drive."""
  if not path.upper().startswith("Z:"):
    raise ValueError("%s is not on the Z: drive" % path)
  return path[2:].replace("\\", "/")


class Report(dict):
  """The driver's report: key=value lines, values with \\\\, \\n and \\r escapes."""

  @classmethod
  def parse(cls, text):
    report = cls()
    for line in text.splitlines():
      if "=" in line:
        key, value = line.split("=", 1)
        report[key] = cls.unescape(value)
    return report

  @staticmethod
  def unescape(value):
    out, i = [], 0
    while i < len(value):
      if value[i] == "\\" and i + 1 < len(value):
        out.append({"n": "\n", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i + 1]))
        i += 2
      else:
        out.append(value[i])
        i += 1
    return "".join(out)

  def number(self, key):
    return int(self[key])

  def boxes(self):
    return [{"ms": int(self["box.%d.ms" % n]), "caption": self["box.%d.caption" % n],
             "text": self["box.%d.text" % n],
             "splash_visible": self["box.%d.splash_visible" % n] == "1"}
            for n in range(1, self.number("box_count") + 1)]

  def captures(self):
    return [{"ms": int(self["capture.%d.ms" % n]), "ok": self["capture.%d.ok" % n] == "1",
             "path": linux_path(self["capture.%d.path" % n])}
            for n in range(1, self.number("capture_count") + 1)]

  def summary(self):
    return "driver report:\n" + "\n".join("  %s=%r" % item for item in sorted(self.items()))


class Bitmap:
  """A 24-bit uncompressed BMP as the driver writes it."""

  def __init__(self, path):
    with open(path, "rb") as f:
      data = f.read()
    if data[:2] != b"BM":
      raise ValueError("%s is not a BMP file" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    self.width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
      raise ValueError("%s has %d bits per pixel, not 24" % (path, bits))
    self.bottom_up = height > 0
    self.height = abs(height)
    self.stride = (self.width * 3 + 3) & ~3
    self.pixels = data[offset:offset + self.stride * self.height]

  def pixel(self, x, y):
    """(red, green, blue) at column x of row y, row 0 being the top."""
    row = self.height - 1 - y if self.bottom_up else y
    b, g, r = self.pixels[row * self.stride + x * 3:row * self.stride + x * 3 + 3]
    return r, g, b


def add_environment_arguments(parser):
  """The options naming the test environment and the test programs' folder."""
  parser.add_argument("--state", required=True, help="test environment state folder")
  parser.add_argument("--testenv", required=True, help="tests/env/testenv.sh")
  parser.add_argument("--data", required=True, help="folder of driver.exe and the test files")


def close_to(colour, expected, tolerance):
  return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class Harness:
  """One test environment: STATE (prefix, display, server root), the testenv
  script, the program under test and the folder of test programs."""

  def __init__(self, state, testenv, exe, data):
    self.state = os.path.abspath(state)
    self.testenv = os.path.abspath(testenv)
    self.exe = os.path.abspath(exe)
    self.data = os.path.abspath(data)
    self.www = os.path.join(self.state, "www")
    self.work = os.path.join(self.state, "e2e")
    self._big_archive_made = False

  def data_file(self, name):
    return os.path.join(self.data, name)

  def new_case(self, name):
    """A fresh folder for one case's game, profile, report and captures."""
    folder = os.path.join(self.work, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return Case(self, folder)

  # ---- fixture server ------------------------------------------------------

  def reset_server(self):
    for host in (DOWNLOAD_HOST, EXTRACTOR_HOST):
      shutil.rmtree(os.path.join(self.www, "files", host), ignore_errors=True)
    for name in ("rules.json", "requests.log"):
      if os.path.exists(os.path.join(self.www, name)):
        os.remove(os.path.join(self.www, name))

  def serve(self, host, url_path, content):
    """Serves `content` (bytes, or the path of a file) at https://host/url_path."""
    target = os.path.join(self.www, "files", host, url_path.lstrip("/"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if isinstance(content, bytes):
      write_bytes(target, content)
    else:
      shutil.copyfile(content, target)

  def serve_launcher(self, archive=None, version="1.2.3", extractor=True):
    """The usual server content: manifest, archive and (optionally) 7zr.exe."""
    self.serve(DOWNLOAD_HOST, MANIFEST_PATH, json.dumps({"version": version}).encode())
    self.serve(DOWNLOAD_HOST, ARCHIVE_PATH, archive or self.data_file("launcher.7z"))
    if extractor:
      self.serve(EXTRACTOR_HOST, EXTRACTOR_PATH, self.data_file("7zr.exe"))

  def set_rules(self, rules):
    write_bytes(os.path.join(self.www, "rules.json"), json.dumps(rules).encode())

  def requests(self):
    """[(host, path)] of every request the server received since the reset."""
    path = os.path.join(self.www, "requests.log")
    if not os.path.exists(path):
      return []
    with open(path, encoding="utf-8") as f:
      entries = [json.loads(line) for line in f if line.strip()]
    return [((e.get("host") or "").split(":")[0], e["path"]) for e in entries]

  def big_archive(self, pack_bytes=4 << 20):
    """A launcher archive padded with an incompressible launcher.pck, so that a
    throttled download of it takes long enough to be watched. Made once per
    suite run, from the current test launcher."""
    archive = os.path.join(self.work, "big-launcher.7z")
    if self._big_archive_made:
      return archive
    staging = os.path.join(self.work, "big-launcher")
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    shutil.copyfile(self.data_file("test_launcher.exe"), os.path.join(staging, "launcher.exe"))
    write_bytes(os.path.join(staging, "launcher.pck"), os.urandom(pack_bytes))
    if os.path.exists(archive):
      os.remove(archive)
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-bsp0", "-mx=1", archive, "."],
                   cwd=staging, check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(staging)
    self._big_archive_made = True
    return archive

  # ---- driver ---------------------------------------------------------------

  def start_driver(self, folder, args, locale=ENGLISH_US, timeout_ms=60000, tag=""):
    """Starts driver.exe under Wine with `args` (plus --report and --timeout);
    finish_driver returns its Report. driver<tag>.log and report<tag>.txt stay
    in `folder`, so several runs can share it."""
    report_path = os.path.join(folder, "report%s.txt" % tag)
    if os.path.exists(report_path):
      os.remove(report_path)
    args = ["--report=" + windows_path(report_path), "--timeout=%d" % timeout_ms] + list(args)
    env = dict(os.environ)
    env.update(locale)
    # Wine's helper services keep inherited pipes open: output goes to a file.
    log_path = os.path.join(folder, "driver%s.log" % tag)
    log = open(log_path, "wb")
    process = subprocess.Popen(
        [self.testenv, "run", self.state, self.data_file("driver.exe")] + args,
        stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, env=env)
    return process, log, report_path, log_path, timeout_ms / 1000 + 60

  @staticmethod
  def finish_driver(started):
    process, log, report_path, log_path, timeout_s = started
    try:
      status = process.wait(timeout=timeout_s)
    finally:
      log.close()
    if status != 0 or not os.path.exists(report_path):
      with open(log_path, errors="replace") as f:
        raise RuntimeError("driver failed (status %d) in %s:\n%s" % (status, log_path, f.read()))
    with open(report_path, encoding="utf-8") as f:
      return Report.parse(f.read())

  def run_driver(self, folder, args, locale=ENGLISH_US, timeout_ms=60000):
    return self.finish_driver(self.start_driver(folder, args, locale, timeout_ms))


class FileHolder:
  """tests/programs/file_holder.exe under Wine: holds each file that appears
  or changes under `root` for `hold_ms` after its writer closed it, sharing
  nothing ("none") or reads ("read"), as security software does, until
  stop(). Its ready, until and log files stay in `folder`."""

  def __init__(self, harness, folder, root, hold_ms, share):
    self.ready = os.path.join(folder, "holder.ready")
    self.until = os.path.join(folder, "holder.until")
    for path in (self.ready, self.until):
      if os.path.exists(path):
        os.remove(path)
    self.log_path = os.path.join(folder, "holder.log")
    self.log = open(self.log_path, "wb")
    self.process = subprocess.Popen(
        [harness.testenv, "run", harness.state, harness.data_file("file_holder.exe"),
         "--root", windows_path(root), "--hold-ms", str(hold_ms), "--share", share,
         "--ready", windows_path(self.ready), "--until", windows_path(self.until),
         "--max-seconds", "600"],
        stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
    # A cold Wine process may take longer to start than an installation.
    deadline = time.monotonic() + 60
    while not os.path.exists(self.ready):
      if self.process.poll() is not None or time.monotonic() > deadline:
        self.stop()
        raise RuntimeError("file_holder.exe never got ready; see %s" % self.log_path)
      time.sleep(0.05)

  def stop(self):
    """Ends every hold and waits for the holder's exit."""
    if self.process.poll() is None:
      write_bytes(self.until, b"")
      try:
        self.process.wait(timeout=60)
      except subprocess.TimeoutExpired:
        self.process.kill()
        self.process.wait()
    self.log.close()


class Case:
  """One case's folder: a game folder, a user profile, the driver's report."""

  def __init__(self, harness, folder):
    self.harness = harness
    self.folder = folder
    self.profile = os.path.join(folder, "User Profile")
    self.install_dir = os.path.join(self.profile, "Nolm", "Launcher")
    os.makedirs(self.profile)

  def make_game(self, config=None, files=None, exe=None):
    """A game folder holding a copy of the program (or of `exe`); `config` (str or bytes)
    becomes nolm/config.json, None leaves out the nolm folder; `files` maps
    more names under nolm/ to bytes. Returns the program's path."""
    game = os.path.join(self.folder, "Game Folder")
    os.makedirs(game)
    program = os.path.join(game, "nolm-shortcut.exe")
    shutil.copyfile(exe or self.harness.exe, program)
    if config is not None or files:
      os.makedirs(os.path.join(game, "nolm"))
    if config is not None:
      write_bytes(os.path.join(game, "nolm", "config.json"), config)
    for name, content in (files or {}).items():
      write_bytes(os.path.join(game, "nolm", name), content)
    return program

  def preinstall(self, launcher_exe=None):
    """Puts launcher.exe (the test launcher unless given as bytes) and
    launcher.pck into the profile's install directory."""
    os.makedirs(self.install_dir, exist_ok=True)
    if launcher_exe is None:
      shutil.copyfile(self.harness.data_file("test_launcher.exe"),
                      os.path.join(self.install_dir, "launcher.exe"))
    else:
      write_bytes(os.path.join(self.install_dir, "launcher.exe"), launcher_exe)
    write_bytes(os.path.join(self.install_dir, "launcher.pck"), b"NOLMPCK test pack\n")

  def hold_files(self, hold_ms, share):
    """A FileHolder on this profile's Nolm folder, ready: files there from now
    on are held as security software holds them."""
    return FileHolder(self.harness, self.folder, os.path.join(self.profile, "Nolm"), hold_ms,
                      share)

  def launch_records(self):
    """(command line, current directory) of each start of the test launcher."""
    path = os.path.join(self.install_dir, "launch.log")
    if not os.path.exists(path):
      return []
    with open(path, "rb") as f:
      text = f.read().decode("utf-16-le")
    return [tuple(line.rsplit("|", 1)) for line in text.splitlines() if line]

  def start_driver(self, program, locale=ENGLISH_US, captures=(), close_after_ms=None,
                   wait_launcher_ms=None, watch_launcher_ms=None, kill_when=None, timeout_ms=60000,
                   tag=""):
    """Starts driver.exe under Wine on `program`, with USERPROFILE set to this
    case's profile; finish_driver returns its Report.

    `locale` holds the Unix locale variables of the Wine processes (it sets
    the UI language, and may carry other variables of the Wine processes);
    `captures` lists offsets in ms after the splash first
    became visible, saved as capture-N.bmp in the case folder;
    `wait_launcher_ms` is how long to watch for the test launcher's window
    after the program's exit; `watch_launcher_ms` how long to keep watching that
    window afterwards; `kill_when` is a path whose appearance ends the program
    alone (the driver then watches a second for 7zr.exe to be gone); `tag`
    names this run's report, for cases that run several drivers at once."""
    args = ["--exe=" + windows_path(program), "--env=USERPROFILE=" + windows_path(self.profile)]
    for n, offset in enumerate(captures, 1):
      args.append("--capture=%d:%s" % (offset, windows_path(
          os.path.join(self.folder, "capture-%d.bmp" % n))))
    if close_after_ms is not None:
      args.append("--close-after=%d" % close_after_ms)
    if wait_launcher_ms is not None:
      args.append("--wait-launcher=%d" % wait_launcher_ms)
    if watch_launcher_ms is not None:
      args.append("--watch-launcher=%d" % watch_launcher_ms)
    if kill_when is not None:
      args.append("--kill-when=" + windows_path(kill_when))
    return self.harness.start_driver(self.folder, args, locale, timeout_ms, tag)

  def run_driver(self, program, **options):
    return self.harness.finish_driver(self.start_driver(program, **options))


def write_bytes(path, content):
  with open(path, "wb") as f:
    f.write(content.encode("utf-8") if isinstance(content, str) else content)
