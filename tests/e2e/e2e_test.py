#!/usr/bin/env python3
"""End-to-end tests: the real nolm-shortcut.exe under Wine, on the Xvfb
display and against the HTTPS fixture server of the test environment.

Each case builds a game folder and a user profile (paths with spaces), puts
the server's content in place, and runs tests/programs/driver.exe, which
starts the program and reports its splash window, its message boxes (answered
with OK), screen captures of the splash, the test launcher's window and the
exit code. Every Wine process start costs ~2 s, so each test class makes its
runs once in setUpClass and its test methods only read the reports.

  e2e_test.py --state STATE --testenv testenv.sh --exe nolm-shortcut.exe --data TESTDATA
              --signed-exe SIGNED.exe --keys KEYS [unittest arguments, e.g. -k Install]
"""

import argparse
import base64
import json
import hashlib
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

HARNESS = None  # set by main()
SIGNED_EXE = None  # the build pinning the tests' release keys "a" and "b"
KEYS = None  # their folder: NAME.pem and NAME.b64 for a, b and c (pinned by no build)

CAPTION = "Nolm Launcher"
INVALID_EN = 'Invalid configuration: nolm/config.json must contain {"game": "<slug>"}.'
INVALID_FR = 'Configuration invalide : nolm/config.json doit contenir {"game": "<slug>"}.'
INSTALL_EN = "Unable to install the Nolm Launcher.\nCheck your internet connection and try again."
INSTALL_FR = ("Impossible d'installer le Nolm Launcher.\n"
              "V\u00e9rifiez votre connexion internet puis r\u00e9essayez.")
START_EN = "Unable to start the Nolm Launcher."

# 800 x 350 centred on the 1280 x 1024 Xvfb screen.
SPLASH_RECT = "240,337,1040,687"
BACKGROUND = (16, 16, 20)
WHITE = (255, 255, 255)
TRACK = (8, 8, 11)  # black at alpha 120 over the background
BAR_ROWS = range(344, 350)
ABOVE_BAR_ROW = 340
TOLERANCE = 6

# A throttled 4 MiB archive takes ~2 s, long enough to watch the bar move and
# to close the splash while the worker is still busy.
THROTTLE = {h.ARCHIVE_PATH: {"throttle_bytes_per_sec": 2 << 20}}
CAPTURE_EVERY_250_MS = tuple(range(250, 4001, 250))
# Slower still for two copies at once: the second is sure to start while the
# first one downloads.
SLOW_THROTTLE = {h.ARCHIVE_PATH: {"throttle_bytes_per_sec": 1 << 20}}
# Wine then prefers a DLL of that name in the program's folder, as Windows'
# search order does for a DLL that is not a KnownDLL.
PREFER_PLANTED_DLLS = dict(h.ENGLISH_US, NOLM_DLL_OVERRIDES="winhttp,gdiplus=n,b")
# The program waits for the launcher's window itself; the grace only lets a
# run that did not wait still show when the window came.
LAUNCHER_GRACE_MS = 5000


def config(game=None, name=None):
  members = {}
  if game is not None:
    members["game"] = game
  if name is not None:
    members["name"] = name
  return json.dumps(members)


def plant_dll(program, name):
  """Puts the stand-in DLL beside `program` as `name`; returns the marker file
  it leaves when it is loaded."""
  planted = os.path.join(os.path.dirname(program), name)
  shutil.copyfile(HARNESS.data_file("planted_dll.dll"), planted)
  return planted + ".loaded"


def two_copies_on_fresh_profile(name, extractor=True):
  """Starts the program twice at once, as a double double-click does, on a
  fresh profile with the slow archive; returns the case, both reports and
  the server's requests."""
  archive = HARNESS.big_archive()
  HARNESS.reset_server()
  HARNESS.serve_launcher(archive=archive, extractor=extractor)
  HARNESS.set_rules(SLOW_THROTTLE)
  case = HARNESS.new_case(name)
  program = case.make_game(config(game="twice"))
  started = [case.start_driver(program, tag=tag) for tag in ("-first", "-second")]
  reports = [HARNESS.finish_driver(run) for run in started]
  return case, reports, HARNESS.requests()


def unfinished_archives():
  """Launcher archives whose extraction cannot finish, made in the test's work
  folder: {name: (archive, launcher.pck bytes)}.
    damaged   one byte flipped inside launcher.pck's stored bytes: 7-Zip
              writes launcher.exe whole and launcher.pck at full length with
              wrong bytes, then exits with 2
    long      a 128 MiB launcher.pck after launcher.exe in one block (no exe
              filter, which would put launcher.exe last), so that cutting
              its extraction short leaves both, as an update over an older
              launcher.exe does; random bytes of 16 values, each one an
              LZMA literal, so that it takes 7zr.exe seconds to write
    password  the test launcher behind a password nobody will type"""
  made = {}
  for name, pack_bytes in (("damaged", 1 << 20), ("long", 128 << 20), ("password", 0)):
    staging = os.path.join(HARNESS.work, "unfinished-" + name)
    archive = staging + ".7z"
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    shutil.copyfile(HARNESS.data_file("test_launcher.exe"), os.path.join(staging, "launcher.exe"))
    pack = os.urandom(pack_bytes) if pack_bytes else b"NOLMPCK test pack\n"
    if name == "long":
      pack = pack.translate(bytes(0x40 | i & 15 for i in range(256)))
    h.write_bytes(os.path.join(staging, "launcher.pck"), pack)
    if os.path.exists(archive):
      os.remove(archive)
    options = {"damaged": [], "long": ["-mf=off"], "password": ["-pnobody-knows"]}[name]
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-bso0", "-bsp0", "-mx=1"] + options + [archive, "."],
                   cwd=staging, check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(staging)
    if name == "damaged":
      # Incompressible bytes are stored as they stand, so they can be found.
      with open(archive, "r+b") as f:
        content = f.read()
        offset = content.index(pack[len(pack) // 2:len(pack) // 2 + 64])
        f.seek(offset)
        f.write(bytes([content[offset] ^ 0xFF]))
    made[name] = (archive, pack)
  return made


def install_state(case):
  """What an installation left: launcher.exe there, launcher.pck's bytes (None
  when absent), the unfinished-installation marker there."""
  install = case.install_dir
  pack = os.path.join(install, "launcher.pck")
  pack_bytes = None
  if os.path.isfile(pack):
    with open(pack, "rb") as f:
      pack_bytes = f.read()
  return {"exe": os.path.isfile(os.path.join(install, "launcher.exe")),
          "pck": pack_bytes,
          "marker": os.path.exists(os.path.join(install, "temp", "install.incomplete"))}


def signature_lines(content, *keys):
  """version.json.sig for `content`: one base64 DER signature a line, by each
  of the tests' keys named (their private halves are in the build tree)."""
  lines = []
  for key in keys:
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(KEYS, key + ".pem")],
                         input=content, stdout=subprocess.PIPE, check=True).stdout
    lines.append(base64.b64encode(der) + b"\n")
  return b"".join(lines)


def hostile_signature_file(content):
  """Lines an attacker may write, none a signature under a pinned key: a
  pinned key's signature with each DER field broken, random bytes, base64 of
  random bytes, a huge line, and a valid signature of other bytes."""
  good = base64.b64decode(signature_lines(content, "a"))
  broken = [good[:-1], good + b"\0", b"\x31" + good[1:], good[:1] + b"\x81" + good[1:],
            good[:2] + b"\x02\x00" + good[4:], good[:4] + b"\x80" + good[5:]]
  lines = [base64.b64encode(der) for der in broken]
  lines += [os.urandom(90), base64.b64encode(os.urandom(70)), b"A" * 16000, b"====", b"\xff\xfe"]
  lines.append(signature_lines(content + b" ", "a").strip())
  return b"\r\n".join(lines) + b"\r\n"


def bar_fill_width(bitmap):
  """Leading white pixels on the middle row of the progress bar."""
  width = 0
  while width < bitmap.width and h.close_to(bitmap.pixel(width, 346), WHITE, TOLERANCE):
    width += 1
  return width


class EndToEndTest(unittest.TestCase):
  """Shared checks; subclasses run the driver in setUpClass."""

  def assertReport(self, report, key, expected):
    self.assertEqual(report.get(key), str(expected), "%s\n%s" % (key, report.summary()))

  def assertClosedQuietly(self, report, exit_code=0):
    """The run ended by itself, without any message box."""
    self.assertReport(report, "timed_out", 0)
    self.assertReport(report, "box_count", 0)
    self.assertReport(report, "exit_code", exit_code)

  def assertSingleBox(self, report, text, exit_code=1):
    self.assertReport(report, "timed_out", 0)
    self.assertReport(report, "box_count", 1)
    self.assertReport(report, "box.1.caption", CAPTION)
    self.assertReport(report, "box.1.text", text)
    self.assertReport(report, "exit_code", exit_code)

  def assertBoxAfterHiddenSplash(self, report):
    """The splash is hidden when the box shows, and destroyed only after OK."""
    box = report.boxes()[0]
    self.assertFalse(box["splash_visible"], report.summary())
    self.assertGreaterEqual(report.number("splash_visible_ms"), 0, report.summary())
    self.assertTrue(0 <= report.number("splash_hidden_ms") <= box["ms"], report.summary())
    self.assertGreaterEqual(report.number("splash_gone_ms"), box["ms"], report.summary())

  def assertFrenchUi(self, report, language):
    self.assertReport(report, "ui_language", "0x%04X" % language)

  def assertLaunched(self, case, report, game):
    """The test launcher ran once from the install directory, with --game=<game>
    (no option when `game` is None), and its window showed."""
    command = '"%s\\launcher.exe"' % h.windows_path(case.install_dir)
    if game is not None:
      command += " --game=" + game
    self.assertEqual(case.launch_records(), [(command, h.windows_path(case.install_dir))])
    self.assertGreaterEqual(report.number("launcher_window_ms"), 0, report.summary())
    # The splash waits for the launcher's window before it goes.
    self.assertLessEqual(report.number("launcher_window_ms"), report.number("splash_gone_ms"),
                         report.summary())

  def assertNotLaunched(self, case):
    self.assertEqual(case.launch_records(), [])


class InvalidConfigurationTest(EndToEndTest):
  """A config.json without "game": a box at once, no splash, exit code 1, in
  the UI's language. English runs first, so the French runs share its
  wineserver: the language must follow the new process."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    cls.reports = {}
    for label, locale in (("en", h.ENGLISH_US), ("fr_FR", h.FRENCH_FRANCE),
                          ("fr_CA", h.FRENCH_CANADA)):
      case = HARNESS.new_case("invalid-config-" + label)
      program = case.make_game(config(name="x"))
      cls.reports[label] = case.run_driver(program, locale=locale)
    cls.requests = HARNESS.requests()

  def test_english_box_without_splash(self):
    report = self.reports["en"]
    self.assertSingleBox(report, INVALID_EN)
    self.assertReport(report, "splash_found", 0)

  def test_french_box_for_france(self):
    report = self.reports["fr_FR"]
    self.assertFrenchUi(report, 0x040C)
    self.assertSingleBox(report, INVALID_FR)
    self.assertReport(report, "splash_found", 0)

  def test_french_box_for_canada(self):
    report = self.reports["fr_CA"]
    self.assertFrenchUi(report, 0x0C0C)
    self.assertSingleBox(report, INVALID_FR)
    self.assertReport(report, "splash_found", 0)

  def test_nothing_is_downloaded(self):
    self.assertEqual(self.requests, [])


class FreshInstallTest(EndToEndTest):
  """First start for a user: the splash shows the download's progress, the
  launcher is installed and started with the game, the splash goes, exit 0."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    HARNESS.serve_launcher(archive=HARNESS.big_archive())
    HARNESS.set_rules(THROTTLE)
    cls.case = HARNESS.new_case("fresh-install")
    program = cls.case.make_game(config(game="space-game_2", name="Space Game"))
    cls.report = cls.case.run_driver(program, captures=CAPTURE_EVERY_250_MS,
                                     wait_launcher_ms=LAUNCHER_GRACE_MS)
    cls.requests = HARNESS.requests()

  def test_splash_window(self):
    self.assertReport(self.report, "splash_class", "NolmShortcutSplash")
    self.assertReport(self.report, "splash_title", "Space Game")
    self.assertReport(self.report, "splash_rect", SPLASH_RECT)
    self.assertGreaterEqual(self.report.number("splash_visible_ms"), 0)

  def test_progress_bar_fills_during_download(self):
    bitmaps = [h.Bitmap(c["path"]) for c in self.report.captures() if c["ok"]]
    widths = [bar_fill_width(b) for b in bitmaps]
    partial = [(b, w) for b, w in zip(bitmaps, widths) if 0 < w < 800]
    self.assertTrue(partial, "no capture with a partly filled bar; widths %s" % widths)
    self.assertEqual(widths, sorted(widths), "the bar went back")
    bitmap, width = partial[0]
    for y in BAR_ROWS:
      self.assertTrue(h.close_to(bitmap.pixel(0, y), WHITE, TOLERANCE), (y, bitmap.pixel(0, y)))
      self.assertTrue(h.close_to(bitmap.pixel(799, y), TRACK, TOLERANCE),
                      (y, bitmap.pixel(799, y)))
    self.assertTrue(h.close_to(bitmap.pixel(0, ABOVE_BAR_ROW), BACKGROUND, TOLERANCE))

  def test_launcher_installed_and_started_with_game(self):
    install = self.case.install_dir
    for name in ("launcher.exe", "launcher.pck", os.path.join("lib", "7zr.exe")):
      self.assertTrue(os.path.isfile(os.path.join(install, name)), name)
    self.assertFalse(os.path.exists(os.path.join(install, "temp", "launcher_install.7z")))
    with open(os.path.join(install, "temp", "version.dat"), "rb") as f:
      self.assertEqual(f.read(), b"1.2.3")
    self.assertLaunched(self.case, self.report, "space-game_2")
    self.assertReport(self.report, "launcher_title", "Nolm Launcher - game: space-game_2")

  def test_splash_goes_without_box(self):
    self.assertClosedQuietly(self.report)
    self.assertGreaterEqual(self.report.number("splash_gone_ms"), 0)

  def test_downloads_in_order(self):
    self.assertEqual(self.requests, [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                     (h.DOWNLOAD_HOST, h.ARCHIVE_PATH),
                                     (h.EXTRACTOR_HOST, h.EXTRACTOR_PATH)])


class InstalledLauncherTest(EndToEndTest):
  """launcher.exe and launcher.pck present: no bar, no download; the launcher
  starts at once, with the game when there is one."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    cls.with_game = HARNESS.new_case("installed")
    cls.with_game.preinstall()
    program = cls.with_game.make_game(config(game="tiny", name="Tiny"))
    cls.report = cls.with_game.run_driver(program, captures=(50, 150, 250, 350),
                                          wait_launcher_ms=LAUNCHER_GRACE_MS)
    # Without a nolm folder the title and the launcher's options fall back.
    cls.no_config = HARNESS.new_case("no-nolm-folder")
    cls.no_config.preinstall()
    program = cls.no_config.make_game()
    cls.no_config_report = cls.no_config.run_driver(program, wait_launcher_ms=LAUNCHER_GRACE_MS)
    cls.requests = HARNESS.requests()

  def test_no_progress_bar(self):
    # On a loaded machine the first capture can come before the first paint
    # reached the screen (another window still shows there): such a capture
    # says nothing of the bar.
    bitmaps = [h.Bitmap(c["path"]) for c in self.report.captures() if c["ok"]]
    painted = [b for b in bitmaps if h.close_to(b.pixel(400, 100), BACKGROUND, TOLERANCE)]
    self.assertTrue(painted, self.report.summary())
    for bitmap in painted:
      for y in BAR_ROWS:
        for x in (0, 200, 400, 600, 799):
          self.assertTrue(h.close_to(bitmap.pixel(x, y), BACKGROUND, TOLERANCE),
                          (x, y, bitmap.pixel(x, y)))

  def test_launcher_started_with_game(self):
    self.assertClosedQuietly(self.report)
    self.assertReport(self.report, "splash_title", "Tiny")
    self.assertLaunched(self.with_game, self.report, "tiny")

  def test_nothing_is_downloaded(self):
    self.assertEqual(self.requests, [])

  def test_without_nolm_folder(self):
    report = self.no_config_report
    self.assertClosedQuietly(report)
    self.assertReport(report, "splash_title", "Nolm Launcher")
    self.assertLaunched(self.no_config, report, None)
    self.assertReport(report, "launcher_title", "Nolm Launcher (no game)")


class InstallFailureTest(EndToEndTest):
  """The manifest is missing (404): the splash hides, the install-failure box
  shows in the UI's language, the launcher is not started, exit code 1."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    cls.cases, cls.reports = {}, {}
    for label, locale in (("en", h.ENGLISH_US), ("fr_FR", h.FRENCH_FRANCE)):
      case = HARNESS.new_case("install-failure-" + label)
      program = case.make_game(config(game="broken"))
      cls.cases[label] = case
      cls.reports[label] = case.run_driver(program, locale=locale)
    cls.requests = HARNESS.requests()

  def test_english_box_after_splash(self):
    report = self.reports["en"]
    self.assertSingleBox(report, INSTALL_EN)
    self.assertBoxAfterHiddenSplash(report)
    self.assertNotLaunched(self.cases["en"])

  def test_french_box_after_splash(self):
    report = self.reports["fr_FR"]
    self.assertFrenchUi(report, 0x040C)
    self.assertSingleBox(report, INSTALL_FR)
    self.assertBoxAfterHiddenSplash(report)
    self.assertNotLaunched(self.cases["fr_FR"])

  def test_only_the_manifest_is_requested(self):
    self.assertEqual(self.requests, [(h.DOWNLOAD_HOST, h.MANIFEST_PATH)] * 2)


class StartFailureTest(EndToEndTest):
  """launcher.exe is present but is no program: the start-failure box, exit 1."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    case = HARNESS.new_case("start-failure")
    case.preinstall(launcher_exe=b"not a program\n")
    program = case.make_game(config(game="tiny"))
    cls.report = case.run_driver(program)
    cls.requests = HARNESS.requests()

  def test_start_failure_box(self):
    self.assertSingleBox(self.report, START_EN)
    self.assertBoxAfterHiddenSplash(self.report)
    self.assertEqual(self.requests, [])


class EarlyCloseTest(EndToEndTest):
  """The user closes the splash (WM_CLOSE) while the throttled archive still
  downloads: the program shows nothing more, yet waits for the worker, whose
  outcome still sets the exit code."""

  @classmethod
  def setUpClass(cls):
    archive = HARNESS.big_archive()
    HARNESS.reset_server()
    # Fails after the archive: the extractor is not served.
    HARNESS.serve_launcher(archive=archive, extractor=False)
    HARNESS.set_rules(THROTTLE)
    cls.failing = HARNESS.new_case("early-close-failing")
    program = cls.failing.make_game(config(game="closed"))
    cls.failing_report = cls.failing.run_driver(program, close_after_ms=300)
    cls.failing_requests = HARNESS.requests()

    HARNESS.reset_server()
    HARNESS.serve_launcher(archive=archive)
    HARNESS.set_rules(THROTTLE)
    cls.succeeding = HARNESS.new_case("early-close-succeeding")
    program = cls.succeeding.make_game(config(game="closed"))
    cls.succeeding_report = cls.succeeding.run_driver(program, close_after_ms=300,
                                                      wait_launcher_ms=LAUNCHER_GRACE_MS)

  def assertClosedEarly(self, report):
    """WM_CLOSE reached a splash that still existed: the worker had not
    finished, or its box would have shown."""
    self.assertGreaterEqual(report.number("close_posted_ms"), 0, report.summary())
    self.assertGreaterEqual(report.number("splash_gone_ms"), report.number("close_posted_ms"),
                            report.summary())

  def test_failure_gives_exit_code_1_without_box(self):
    report = self.failing_report
    self.assertClosedEarly(report)
    self.assertClosedQuietly(report, exit_code=1)
    # The extractor is requested only after the whole archive: the worker ran
    # on after the window had gone.
    self.assertEqual(self.failing_requests[-1], (h.EXTRACTOR_HOST, h.EXTRACTOR_PATH))
    self.assertFalse(os.path.exists(
        os.path.join(self.failing.install_dir, "temp", "launcher_install.7z")))
    self.assertNotLaunched(self.failing)

  def test_success_starts_the_launcher(self):
    report = self.succeeding_report
    self.assertClosedEarly(report)
    self.assertClosedQuietly(report, exit_code=0)
    self.assertEqual(len(self.succeeding.launch_records()), 1)
    self.assertIn(" --game=closed", self.succeeding.launch_records()[0][0])
    self.assertGreaterEqual(report.number("launcher_window_ms"), 0, report.summary())


class PlantedDllTest(EndToEndTest):
  """A winhttp.dll or gdiplus.dll dropped into the game's folder (as mod
  loaders do), with the loader told to prefer it: the program loads the
  system's DLLs all the same, and installs and starts the launcher."""

  @classmethod
  def setUpClass(cls):
    HARNESS.reset_server()
    HARNESS.serve_launcher()
    cls.installing = HARNESS.new_case("planted-winhttp")
    program = cls.installing.make_game(config(game="planted"))
    cls.winhttp_marker = plant_dll(program, "winhttp.dll")
    cls.installing_report = cls.installing.run_driver(
        program, locale=PREFER_PLANTED_DLLS, wait_launcher_ms=LAUNCHER_GRACE_MS)

    cls.installed = HARNESS.new_case("planted-gdiplus")
    cls.installed.preinstall()
    program = cls.installed.make_game(config(game="planted"))
    cls.gdiplus_marker = plant_dll(program, "gdiplus.dll")
    cls.installed_report = cls.installed.run_driver(
        program, locale=PREFER_PLANTED_DLLS, wait_launcher_ms=LAUNCHER_GRACE_MS)

  def test_installation_never_loads_a_planted_winhttp(self):
    self.assertClosedQuietly(self.installing_report)
    self.assertLaunched(self.installing, self.installing_report, "planted")
    self.assertFalse(os.path.exists(self.winhttp_marker), "the planted winhttp.dll was loaded")

  def test_start_never_loads_a_planted_gdiplus(self):
    self.assertClosedQuietly(self.installed_report)
    self.assertLaunched(self.installed, self.installed_report, "planted")
    self.assertFalse(os.path.exists(self.gdiplus_marker), "the planted gdiplus.dll was loaded")


class TwoCopiesTest(EndToEndTest):
  """Two copies started at once on a fresh profile, the archive slow: one
  installs, the other waits for it and then finds the launcher installed.
  Neither shows a box, each starts the launcher, one whole installation."""

  @classmethod
  def setUpClass(cls):
    cls.case, cls.reports, cls.requests = two_copies_on_fresh_profile("two-copies")

  def test_both_exit_0_without_a_box(self):
    for report in self.reports:
      self.assertClosedQuietly(report)
    # The runs overlapped: each copy started before the other had ended.
    spans = [(r.number("start_unix_us"), r.number("start_unix_us") + 1000 * r.number("exit_ms"))
             for r in self.reports]
    self.assertLess(max(start for start, _ in spans), min(end for _, end in spans), spans)

  def test_one_whole_installation(self):
    install = self.case.install_dir
    self.assertEqual(self.requests, [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                     (h.DOWNLOAD_HOST, h.ARCHIVE_PATH),
                                     (h.EXTRACTOR_HOST, h.EXTRACTOR_PATH)])
    for name in ("launcher.exe", "launcher.pck"):
      self.assertTrue(os.path.isfile(os.path.join(install, name)), name)
    self.assertEqual(os.listdir(os.path.join(install, "temp")), ["version.dat"])
    with open(os.path.join(install, "temp", "version.dat"), "rb") as f:
      self.assertEqual(f.read(), b"1.2.3")
    with open(os.path.join(install, "lib", "7zr.exe"), "rb") as f, \
        open(HARNESS.data_file("7zr.exe"), "rb") as served:
      self.assertEqual(hashlib.sha256(f.read()).digest(), hashlib.sha256(served.read()).digest())

  def test_each_copy_starts_the_launcher(self):
    command = '"%s\\launcher.exe" --game=twice' % h.windows_path(self.case.install_dir)
    self.assertEqual([line for line, _ in self.case.launch_records()], [command, command])


class SecondCopyAfterFailureTest(EndToEndTest):
  """Two copies at once while the installation fails (no 7zr.exe served): the
  second waits for the first, then makes its own attempt and tells its own
  failure. Nothing hangs."""

  @classmethod
  def setUpClass(cls):
    cls.case, cls.reports, cls.requests = two_copies_on_fresh_profile(
        "second-copy-after-failure", extractor=False)

  def test_each_copy_tells_its_own_failure(self):
    for report in self.reports:
      self.assertSingleBox(report, INSTALL_EN)
    self.assertNotLaunched(self.case)

  def test_attempts_take_turns(self):
    attempt = [(h.DOWNLOAD_HOST, h.MANIFEST_PATH), (h.DOWNLOAD_HOST, h.ARCHIVE_PATH),
               (h.EXTRACTOR_HOST, h.EXTRACTOR_PATH)]
    self.assertEqual(self.requests, attempt * 2)


class UnfinishedInstallationTest(EndToEndTest):
  """An extraction that fails after writing a damaged launcher.pck, and one cut
  short (the program alone ended mid-file, as from Task Manager: the extractor
  must end with it within a second): each leaves both launcher files behind,
  yet a start right after installs again and starts a whole launcher, which
  outlives that start. An archive behind a password fails at once: the
  extractor has no console to ask on."""

  @classmethod
  def setUpClass(cls):
    archives = unfinished_archives()
    cls.runs = {}
    for name in ("damaged", "long"):
      archive, pack = archives[name]
      HARNESS.reset_server()
      HARNESS.serve_launcher(archive=archive)
      case = HARNESS.new_case("unfinished-" + name)
      program = case.make_game(config(game="again"))
      kill_when = os.path.join(case.install_dir, "launcher.pck") if name == "long" else None
      run = {"case": case, "pack": pack, "first": case.run_driver(program, kill_when=kill_when),
             "left": install_state(case)}
      HARNESS.reset_server()
      HARNESS.serve_launcher()
      run["second"] = case.run_driver(program, wait_launcher_ms=LAUNCHER_GRACE_MS,
                                      watch_launcher_ms=1000, tag="-again")
      run["requests"] = HARNESS.requests()
      cls.runs[name] = run

    HARNESS.reset_server()
    HARNESS.serve_launcher(archive=archives["password"][0])
    cls.password_case = HARNESS.new_case("unfinished-password")
    program = cls.password_case.make_game(config(game="again"))
    cls.password_report = cls.password_case.run_driver(program, timeout_ms=30000)

  def assertLeftUnfinished(self, run):
    """Both launcher files are there, launcher.pck without the archive's bytes."""
    left = run["left"]
    self.assertTrue(left["exe"], left)
    self.assertIsNotNone(left["pck"], left)
    self.assertEqual(len(left["pck"]), len(run["pack"]))
    self.assertNotEqual(hashlib.sha256(left["pck"]).digest(), hashlib.sha256(run["pack"]).digest())

  def assertInstalledAgain(self, run):
    self.assertTrue(run["left"]["marker"], run["left"])
    self.assertClosedQuietly(run["second"])
    self.assertEqual(run["requests"], [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                       (h.DOWNLOAD_HOST, h.ARCHIVE_PATH)])
    self.assertEqual(install_state(run["case"]),
                     {"exe": True, "pck": b"NOLMPCK test pack\n", "marker": False})
    self.assertLaunched(run["case"], run["second"], "again")
    self.assertReport(run["second"], "launcher_gone_ms", -1)  # a second after the exit

  def test_failed_extraction_is_told_then_installed_again(self):
    run = self.runs["damaged"]
    self.assertSingleBox(run["first"], INSTALL_EN)
    self.assertLeftUnfinished(run)
    self.assertInstalledAgain(run)

  def test_extraction_cut_short_is_installed_again(self):
    run = self.runs["long"]
    self.assertGreaterEqual(run["first"].number("killed_ms"), 0, run["first"].summary())
    # Still writing, seconds of work ahead, when the program was ended; gone a second later.
    self.assertGreaterEqual(run["first"].number("extractors_at_kill"), 1, run["first"].summary())
    self.assertGreaterEqual(run["first"].number("extractors_gone_ms"), 0, run["first"].summary())
    self.assertReport(run["first"], "box_count", 0)
    self.assertLeftUnfinished(run)
    self.assertInstalledAgain(run)

  def test_password_archive_fails_at_once(self):
    self.assertSingleBox(self.password_report, INSTALL_EN)
    self.assertNotLaunched(self.password_case)
    self.assertTrue(install_state(self.password_case)["marker"])


class HeldFilesTest(EndToEndTest):
  """Security software holding each new file under the profile's Nolm folder
  the moment its writer closes it. Held for 2 s, sharing nothing or sharing
  reads, every step waits: the installation is whole, with nothing left in
  temp, and the next start makes no request. Held until the test lets go,
  the waits of one start give up after 10 s together: sharing nothing, the
  box comes within the installation's own time plus 10 s; sharing reads,
  the launcher starts but the marker stays. Either way the next start after
  the hold installs whole."""

  FOR_EVER = 3600 * 1000
  # name: (hold ms, share mode; None: no holder), whether a verified 7zr.exe
  # is in place already (then the archive is what is held as 7zr.exe starts)
  SETUPS = {
      "none": (None, False),
      "2s-sharing-nothing": ((2000, "none"), False),
      "2s-sharing-nothing-extractor-kept": ((2000, "none"), True),
      "2s-sharing-reads": ((2000, "read"), False),
      "for-ever-sharing-nothing": ((FOR_EVER, "none"), False),
      "for-ever-sharing-reads": ((FOR_EVER, "read"), False),
  }

  @classmethod
  def setUpClass(cls):
    cls.runs = {}
    for name, (hold, extractor_kept) in cls.SETUPS.items():
      case = HARNESS.new_case("held-" + name)
      program = case.make_game(config(game="held"))
      if extractor_kept:
        lib = os.path.join(case.install_dir, "lib")
        os.makedirs(lib)
        shutil.copyfile(HARNESS.data_file("7zr.exe"), os.path.join(lib, "7zr.exe"))
      holder = case.hold_files(*hold) if hold else None
      try:
        HARNESS.reset_server()
        HARNESS.serve_launcher()
        # Watched until the launcher has gone, so the next start unpacks over no running program.
        run = {"case": case, "first": case.run_driver(program, wait_launcher_ms=LAUNCHER_GRACE_MS,
                                                       watch_launcher_ms=5000),
               "left": install_state(case), "launches": case.launch_records()}
        if hold and hold[0] == cls.FOR_EVER:
          holder.stop()
        HARNESS.reset_server()
        HARNESS.serve_launcher()
        run["second"] = case.run_driver(program, wait_launcher_ms=LAUNCHER_GRACE_MS, tag="-again")
        run["requests"] = HARNESS.requests()
      finally:
        if holder:
          holder.stop()
      run["temp"] = sorted(os.listdir(os.path.join(case.install_dir, "temp")))
      cls.runs[name] = run

  def assertWhole(self, run):
    self.assertEqual(install_state(run["case"]),
                     {"exe": True, "pck": b"NOLMPCK test pack\n", "marker": False})
    self.assertEqual(run["temp"], ["version.dat"])

  def test_short_holds_install_whole_and_the_next_start_fetches_nothing(self):
    for name in ("none", "2s-sharing-nothing", "2s-sharing-nothing-extractor-kept",
                 "2s-sharing-reads"):
      run = self.runs[name]
      self.assertClosedQuietly(run["first"])
      self.assertEqual(len(run["launches"]), 1, name)
      self.assertFalse(run["left"]["marker"], name)
      self.assertClosedQuietly(run["second"])
      self.assertEqual(run["requests"], [], name)
      self.assertWhole(run)
      self.assertEqual(len(run["case"].launch_records()), 2, name)

  def test_a_hold_for_ever_gives_the_box_within_the_bound(self):
    run = self.runs["for-ever-sharing-nothing"]
    self.assertSingleBox(run["first"], INSTALL_EN)
    own_time = self.runs["none"]["first"].number("launcher_window_ms")
    # A hang guard, not a measurement: the margin covers a loaded machine.
    self.assertLess(run["first"].boxes()[0]["ms"], own_time + 10000 + 10000,
                    run["first"].summary())
    self.assertEqual(run["launches"], [])

  def test_a_hold_for_ever_sharing_reads_leaves_the_marker(self):
    run = self.runs["for-ever-sharing-reads"]
    self.assertClosedQuietly(run["first"])
    self.assertEqual(len(run["launches"]), 1)
    self.assertTrue(run["left"]["marker"], run["left"])

  def test_after_a_hold_for_ever_the_next_start_installs_whole(self):
    for name in ("for-ever-sharing-nothing", "for-ever-sharing-reads"):
      run = self.runs[name]
      self.assertClosedQuietly(run["second"])
      self.assertEqual(run["requests"], [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                         (h.DOWNLOAD_HOST, h.ARCHIVE_PATH)], name)
      self.assertWhole(run)


class SignedReleaseTest(EndToEndTest):
  """The build pinning keys a and b installs only an archive whose SHA-256 is in
  a manifest signed by one of them. Whoever serves the files cannot swap the
  archive or change the manifest, nor sign with a key of their own, and no
  signature file makes the program crash or hang: each of those ends in the
  install-failure box before anything is unpacked. Nor can it make the
  program download without end: the manifest is read up to 64 KiB, and the
  archive fails as soon as it is not its signed size, even from a server
  that then pauses for longer than the run may take."""

  @classmethod
  def setUpClass(cls):
    archive = HARNESS.data_file("launcher.7z")
    with open(archive, "rb") as f:
      archive_bytes = f.read()
    signed = {"version": "1.2.3", "sha256": hashlib.sha256(archive_bytes).hexdigest(),
              "size": str(len(archive_bytes))}
    manifest = json.dumps(signed).encode()
    no_digest = json.dumps({"version": "1.2.3"}).encode()
    no_size = json.dumps({k: v for k, v in signed.items() if k != "size"}).encode()
    long_manifest = json.dumps(dict(signed, notes="x" * (70 << 10))).encode()
    longer = archive_bytes + os.urandom(64 << 10)
    # The server pauses for a minute after its first chunk; the run is given 20 s.
    pause = {"delay_ms_per_chunk": 60000}
    # name: (manifest served, signature file served or None, archive served, archive rule)
    setups = {
        "by-a": (manifest, signature_lines(manifest, "a"), archive, None),
        "unknown-then-b": (manifest, signature_lines(manifest, "c", "b"), archive, None),
        "swapped-archive": (manifest, signature_lines(manifest, "a"), HARNESS.big_archive(),
                            None),
        "changed-manifest": (manifest.replace(b"1.2.3", b"6.6.6"), signature_lines(manifest, "a"),
                             archive, None),
        "unpinned-key": (manifest, signature_lines(manifest, "c"), archive, None),
        "no-sha256": (no_digest, signature_lines(no_digest, "a"), archive, None),
        "no-size": (no_size, signature_lines(no_size, "a"), archive, None),
        "no-signatures": (manifest, None, archive, None),
        "hostile": (manifest, hostile_signature_file(manifest), archive, None),
        "oversized": (manifest, signature_lines(manifest, "a") + b"\n" * (32 << 10), archive, None),
        "long-manifest": (long_manifest, signature_lines(long_manifest, "a"), archive, None),
        "longer-announced": (manifest, signature_lines(manifest, "a"), longer,
                             dict(pause, chunk_size=4096)),
        "longer-chunked": (manifest, signature_lines(manifest, "a"), longer,
                           dict(pause, chunked=True, chunk_size=len(archive_bytes) + 100)),
    }
    cls.runs = {}
    for name, (served, signatures, served_archive, rule) in setups.items():
      HARNESS.reset_server()
      HARNESS.serve_launcher()
      HARNESS.serve(h.DOWNLOAD_HOST, h.ARCHIVE_PATH, served_archive)
      HARNESS.serve(h.DOWNLOAD_HOST, h.MANIFEST_PATH, served)
      if signatures is not None:
        HARNESS.serve(h.DOWNLOAD_HOST, h.SIGNATURE_PATH, signatures)
      if rule:
        HARNESS.set_rules({h.ARCHIVE_PATH: rule})
      case = HARNESS.new_case("signed-" + name)
      program = case.make_game(config(game="signed"), exe=SIGNED_EXE)
      wait = LAUNCHER_GRACE_MS if name in ("by-a", "unknown-then-b") else None
      cls.runs[name] = {"case": case, "report": case.run_driver(program, wait_launcher_ms=wait,
                                                                timeout_ms=20000 if rule else 30000),
                        "requests": HARNESS.requests()}

  def assertRefusedBefore(self, name, requests):
    """The install-failure box, these requests alone, and nothing unpacked,
    no marker, no archive left."""
    run = self.runs[name]
    self.assertSingleBox(run["report"], INSTALL_EN)
    self.assertEqual(run["requests"], requests, name)
    self.assertNotLaunched(run["case"])
    install = run["case"].install_dir
    for left in ("launcher.exe", "launcher.pck", os.path.join("temp", "launcher_install.7z"),
                 os.path.join("temp", "install.incomplete"), os.path.join("temp", "version.dat")):
      self.assertFalse(os.path.exists(os.path.join(install, left)), (name, left))

  def test_signed_by_either_pinned_key_installs(self):
    for name in ("by-a", "unknown-then-b"):
      run = self.runs[name]
      self.assertClosedQuietly(run["report"])
      self.assertEqual(run["requests"], [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                         (h.DOWNLOAD_HOST, h.SIGNATURE_PATH),
                                         (h.DOWNLOAD_HOST, h.ARCHIVE_PATH),
                                         (h.EXTRACTOR_HOST, h.EXTRACTOR_PATH)], name)
      self.assertEqual(install_state(run["case"]),
                       {"exe": True, "pck": b"NOLMPCK test pack\n", "marker": False})
      self.assertLaunched(run["case"], run["report"], "signed")

  def test_archive_other_than_signed_is_never_unpacked(self):
    for name in ("swapped-archive", "longer-announced", "longer-chunked"):
      self.assertRefusedBefore(name, [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                      (h.DOWNLOAD_HOST, h.SIGNATURE_PATH),
                                      (h.DOWNLOAD_HOST, h.ARCHIVE_PATH)])

  def test_unsigned_manifests_stop_before_the_archive(self):
    for name in ("changed-manifest", "unpinned-key", "no-sha256", "no-size", "no-signatures",
                 "hostile", "oversized"):
      self.assertRefusedBefore(name, [(h.DOWNLOAD_HOST, h.MANIFEST_PATH),
                                      (h.DOWNLOAD_HOST, h.SIGNATURE_PATH)])
    self.assertRefusedBefore("long-manifest", [(h.DOWNLOAD_HOST, h.MANIFEST_PATH)])


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  h.add_environment_arguments(parser)
  parser.add_argument("--exe", required=True, help="nolm-shortcut.exe")
  parser.add_argument("--signed-exe", required=True, help="nolm-shortcut.exe pinning keys a and b")
  parser.add_argument("--keys", required=True, help="folder of the tests' release keys")
  args, rest = parser.parse_known_args()
  global HARNESS, SIGNED_EXE, KEYS
  HARNESS = h.Harness(args.state, args.testenv, args.exe, args.data)
  SIGNED_EXE, KEYS = args.signed_exe, args.keys
  unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
  main()
